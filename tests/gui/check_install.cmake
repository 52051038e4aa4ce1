# Installs the build into a fresh folder and checks what a desktop needs is
# there. -DBUILD=<build folder> -DPREFIX=<empty folder>
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(f bin/vantrel bin/vantrel-read share/applications/vantrel.desktop
          share/icons/hicolor/48x48/apps/vantrel.png share/icons/hicolor/256x256/apps/vantrel.png
          share/vantrel/demo/demo-1-jan13.png share/vantrel/sounds/read.wav)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${PREFIX}/share/applications/vantrel.desktop entry)
foreach(line "Exec=vantrel" "Icon=vantrel" "Type=Application")
  string(FIND "${entry}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/vantrel --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version STREQUAL "Vantrel, Version 1.0\n")
  message(FATAL_ERROR "vantrel --version: ${status} '${version}'")
endif()
execute_process(COMMAND ${PREFIX}/bin/vantrel --no-such-option RESULT_VARIABLE status
                OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "vantrel with a wrong option ended with ${status}, not 2")
endif()
file(REMOVE_RECURSE ${PREFIX})
