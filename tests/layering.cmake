# The direction of the layers, checked on the sources:
#   core      QtCore/QtGui only, includes nothing above it
#   widgets   core and widgets only
#   models    (every file of imaging/, map/, net/, editors/, platform/ but the
#             windows) never include Qt Widgets
#   document  the open adventure as the author works on it: models below it
#             (core, map/, editors/ models, imaging/), never a window or Qt
#             Widgets, never net/, platform/ or shell/
#   windows   may include document/; no model below document/ includes it
#   cli       the command line: core, the document's models (the reference
#             index, the rename) and the models of map/ and net/ only
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
    if(folder STREQUAL "core" AND inc MATCHES "\"(widgets|document|map|net|editors|imaging|platform|shell)/")
      list(APPEND problems "${f}: core includes ${inc}")
    endif()
    if(folder STREQUAL "document" AND inc MATCHES "\"(widgets|net|platform|shell|cli)/")
      list(APPEND problems "${f}: document includes ${inc}")
    endif()
    if(folder STREQUAL "document" AND inc MATCHES "\"(map|editors)/[A-Za-z]*(Window|Editor)")
      list(APPEND problems "${f}: document includes the window ${inc}")
    endif()
    if(NOT window AND NOT folder MATCHES "^(document|app|cli)$" AND inc MATCHES "\"document/")
      list(APPEND problems "${f}: a model below the document includes ${inc}")
    endif()
    if(folder MATCHES "^(core|widgets)$" AND inc MATCHES "\"document/")
      list(APPEND problems "${f}: ${folder} includes ${inc}")
    endif()
    if(folder STREQUAL "document" AND inc MATCHES "<(QtWidgets|QWidget|QApplication|QLabel|QListWidget|QMessageBox|QAbstract|QUndoView)")
      list(APPEND problems "${f}: document includes ${inc}")
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
  # Windows read the settings list through names, never by line number.
  if(window AND text MATCHES "settingsList\\(\\)\\[|lines\\[[0-9]+\\]")
    list(APPEND problems "${f}: a window reads a settings line by its number")
  endif()
  if(NOT folder STREQUAL "app" AND text MATCHES "findChild|window\\(\\)->")
    list(APPEND problems "${f}: looks controls up outside its own window")
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n" report)
  message(FATAL_ERROR "Layering broken:\n${report}")
endif()
message(STATUS "Layering holds over ${SRC}")
