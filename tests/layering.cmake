# The direction of the layers, checked on the sources:
#   core      QtCore/QtGui only, includes nothing above it
#   widgets   core and widgets only
#   models    (every file of imaging/, map/, net/, editors/, platform/ but the
#             windows) never include Qt Widgets
#   cli       the command line: core and the models of map/ and net/ only
#   app/      is included by nobody below it
# and no window looks another window's controls up by name.
file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(problems "")
foreach(f ${sources})
  file(READ ${SRC}/${f} text)
  string(REGEX MATCHALL "#include [<\"][^>\"]+[>\"]" includes "${text}")
  get_filename_component(folder ${f} DIRECTORY)
  get_filename_component(name ${f} NAME_WE)
  set(window FALSE)
  if(name MATCHES "Window|Editor|TForm1|OrvalisApplication|main" OR folder STREQUAL "widgets"
     OR folder STREQUAL "shell")
    set(window TRUE)
  endif()
  foreach(inc ${includes})
    if(inc MATCHES "\"app/" AND NOT folder STREQUAL "app")
      list(APPEND problems "${f}: includes ${inc} (app/ is the top)")
    endif()
    if(folder STREQUAL "core" AND inc MATCHES "\"(widgets|map|net|editors|imaging|platform|shell)/")
      list(APPEND problems "${f}: core includes ${inc}")
    endif()
    if(folder STREQUAL "widgets" AND inc MATCHES "\"(map|net|editors|imaging|platform|shell)/")
      list(APPEND problems "${f}: widgets includes ${inc}")
    endif()
    if(folder STREQUAL "cli" AND inc MATCHES "\"(widgets|editors|imaging|platform|shell)/")
      list(APPEND problems "${f}: the command line includes ${inc}")
    endif()
    if(folder STREQUAL "cli" AND inc MATCHES "\"(map|net)/[A-Za-z]*(Window|Editor)")
      list(APPEND problems "${f}: the command line includes the window ${inc}")
    endif()
    if(NOT window AND inc MATCHES "<(QWidget|QApplication|QLabel|QListWidget|QMessageBox|QtWidgets)")
      list(APPEND problems "${f}: a model includes ${inc}")
    endif()
  endforeach()
  if(NOT folder STREQUAL "app" AND text MATCHES "findChild|window\\(\\)->")
    list(APPEND problems "${f}: looks controls up outside its own window")
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n" report)
  message(FATAL_ERROR "Layering broken:\n${report}")
endif()
message(STATUS "Layering holds over ${SRC}")
