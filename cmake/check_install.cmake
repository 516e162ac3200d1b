# Installs the build at BUILD_DIR into a fresh PREFIX and checks that every installed file is
# where the desktop and the program look for it. Run by ctest as `cmake -P`.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(program tabvoro tabvoro-cli tabvoro-run)
  if(NOT EXISTS "${PREFIX}/bin/${program}" OR IS_DIRECTORY "${PREFIX}/bin/${program}")
    message(FATAL_ERROR "missing ${PREFIX}/bin/${program}")
  endif()
endforeach()
# The program looks for its start page beside itself.
foreach(file bin/index.htm share/applications/tabvoro.desktop share/icons/hicolor/scalable/apps/tabvoro.svg)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "missing ${PREFIX}/${file}")
  endif()
endforeach()

file(STRINGS "${PREFIX}/share/applications/tabvoro.desktop" entry ENCODING UTF-8)
foreach(line "Exec=tabvoro" "Icon=tabvoro" "Categories=Network;Utility;" "Name=Tabvoro" "Name[zh_CN]=网页表格抓取")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "tabvoro.desktop lacks the line ${line}")
  endif()
endforeach()

# The installed programs run without anything from the build tree.
execute_process(COMMAND "${PREFIX}/bin/tabvoro-cli" capture --help RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the installed tabvoro-cli does not run: ${result}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
