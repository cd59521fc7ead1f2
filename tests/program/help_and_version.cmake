# `oxel --help` and `oxel --version` answer on the terminal and end with status 0, without a
# display (the test runs the program with none) and without opening a window.
# Usage: cmake -DOXEL=path/to/oxel -DVERSION=x.y.z -P help_and_version.cmake

function(expect_answer option pattern)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                          --unset=QT_QPA_PLATFORM ${OXEL} ${option}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "oxel ${option} ended with ${status}:\n${out}${err}")
  endif()
  if(NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "oxel ${option} printed:\n${out}\nexpected to match: ${pattern}")
  endif()
endfunction()

expect_answer(--help "^Usage: [^\n]*oxel \\[options\\] \\[PICTURE\\]\n.*--version.*--fit.*PICTURE")
string(REPLACE "." "\\." version_pattern "${VERSION}")
expect_answer(--version "^oxel ${version_pattern}\n$")
