# Copies the files of SOURCE into DEST, leaving every file that DEST already
# has alone: the workspace is where the author works, a rebuild must not undo it.
file(GLOB_RECURSE files RELATIVE ${SOURCE} ${SOURCE}/*)
foreach(f ${files})
  if(NOT EXISTS ${DEST}/${f})
    get_filename_component(dir ${DEST}/${f} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(COPY ${SOURCE}/${f} DESTINATION ${dir})
  endif()
endforeach()
