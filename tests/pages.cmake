# The language restart drives the real program.
add_dependencies(tst_languagerestart lumivo)
set_tests_properties(tst_languagerestart PROPERTIES TIMEOUT 300)
