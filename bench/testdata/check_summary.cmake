# Runs summarize_benchmarks on the rows in this folder and compares its
# table with expected_summary.txt.
#   cmake -DPROGRAM=<summarize_benchmarks> -DDIR=<this folder> -P check_summary.cmake
execute_process(COMMAND ${PROGRAM} ${DIR}/goals.txt ${DIR}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
file(READ ${DIR}/expected_summary.txt expected)
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "exit ${rc}; the table differs from the expected one:\n${out}")
endif()
