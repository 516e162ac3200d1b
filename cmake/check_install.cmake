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

# The units that run a saved job on a schedule, naming the installed command line.
foreach(unit tabvoro-job@.service tabvoro-job@.timer)
  if(NOT EXISTS "${PREFIX}/lib/systemd/user/${unit}")
    message(FATAL_ERROR "missing ${PREFIX}/lib/systemd/user/${unit}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/lib/systemd/user/tabvoro-job@.service" service)
set(exec "ExecStart=${PREFIX}/bin/tabvoro-cli run --job %h/.config/tabvoro/jobs/%i.json --resume")
list(FIND service "${exec}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "tabvoro-job@.service lacks the line ${exec}")
endif()
# systemd's own check, where systemd is there: the units as an instance of them.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
  set(units "${PREFIX}/units")
  file(MAKE_DIRECTORY "${units}")
  foreach(ext service timer)
    file(COPY_FILE "${PREFIX}/lib/systemd/user/tabvoro-job@.${ext}" "${units}/tabvoro-job@check.${ext}")
  endforeach()
  execute_process(COMMAND "${SYSTEMD_ANALYZE}" verify --man=no "${units}/tabvoro-job@check.service" "${units}/tabvoro-job@check.timer"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "systemd-analyze verify: ${out}")
  endif()
endif()

# The installed programs run without anything from the build tree.
execute_process(COMMAND "${PREFIX}/bin/tabvoro-cli" capture --help RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the installed tabvoro-cli does not run: ${result}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
