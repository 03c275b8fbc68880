# qm_wine_test(NAME TARGET [ARGS...]): a GoogleTest program run as a test
# under Wine, in the build's shared prefix (CTest runs it through the
# emulator, tests/wine/wine-run). It passes only if it exits 0 and printed
# GoogleTest's summary of passed tests. The prefix is set up and removed by
# the "wine" fixture, defined in tests/wine.
function(qm_wine_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900 RUN_SERIAL ON
                       ENVIRONMENT "QM_WINE=${QM_WINE};QM_GTEST_SUMMARY=1")
endfunction()
