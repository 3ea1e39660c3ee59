# The layering rule catches what it must: cmake/check_layers.cmake run over a
# small tree of wrong-way includes names each of them and none of the right
# ones, and the include roots of the build refuse a wrong-way include at
# compile time while accepting a right one.
#   -DORVO_SOURCE_DIR  the repository
#   -DORVO_WORK_DIR    a scratch folder
#   -DORVO_CXX         the C++ compiler
#   -DORVO_ROOTS       the build's include roots (<build>/include_roots)
cmake_minimum_required(VERSION 3.22)

set(failures "")
macro(fail text)
  list(APPEND failures "${text}")
endmacro()

set(tree ${ORVO_WORK_DIR}/tree)
file(REMOVE_RECURSE ${ORVO_WORK_DIR})
function(source path text)
  file(WRITE ${tree}/${path} "${text}\n")
endfunction()

# Right: each includes only what its layer may use.
source(src/formula/right.cpp "#include \"frame/text.h\"\n#include \"orvo/parser.h\"\n#include \"right.h\"")
source(src/formula/right.h "#include \"orvo/xml.h\"")
source(src/sample/right.cpp "#include <sqlite3.h>\n#include \"ledger/ledger_schema.h\"")
source(tests/ledger/right_test.cpp "#include \"ledger/helper.h\"\n#include \"support/fake.h\"\n#include \"orvo/sample_workspace.h\"")
source(tests/ledger/helper.h "#include \"ledger/ledger_schema.h\"")
source(tools/orvo/right.cpp "#include \"orvo/parser.h\"\n#include \"command.h\"")
source(tools/orvo/command.h "")
source(src/evaluators/right.cpp "#include \"orvo/preview_builder.h\"\n#include \"evaluators/right.h\"")
source(src/evaluators/right.h "#include \"orvo/external_evaluator.h\"")
# Wrong: one wrong-way include each.
source(src/formula/up.cpp "#include \"companions/cell_key.h\"")
source(src/formula/public_up.h "#include \"orvo/bookmarks.h\"")
source(src/evaluate/up.cpp "#include \"preview/preview_builder.h\"")
source(src/providers/beside.cpp "#include \"ledger/ledger_schema.h\"")
source(src/ledger/generator.cpp "#include \"sample/sample_chart.h\"")
source(src/frame/database.cpp "#include <sqlite3.h>")
source(src/companions/platform.cpp "#include <libxml/tree.h>")
source(tools/orvo/internal.cpp "#include \"frame/provider_access.h\"")
source(fuzz/internal_fuzzer.cpp "#include \"formula/token_lists.h\"")
source(tests/formula/above_test.cpp "#include \"providers/workspace.h\"")
source(tests/formula/helper_test.cpp "#include \"ledger/helper.h\"")
source(src/nowhere/stray.cpp "#include \"frame/text.h\"")
# An outside component sees the layers below it through public headers only.
source(src/evaluators/internal.cpp "#include \"preview/report_build.h\"")

execute_process(
  COMMAND ${CMAKE_COMMAND} -DORVO_SOURCE_DIR=${tree}
          -P ${ORVO_SOURCE_DIR}/cmake/check_layers.cmake
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REPLACE "\n" " " flat "${output}")
if(result EQUAL 0)
  fail("the check passed a tree of wrong-way includes")
endif()
foreach(wrong src/formula/up.cpp src/formula/public_up.h src/evaluate/up.cpp
        src/providers/beside.cpp src/ledger/generator.cpp src/frame/database.cpp
        src/companions/platform.cpp tools/orvo/internal.cpp fuzz/internal_fuzzer.cpp
        tests/formula/above_test.cpp tests/formula/helper_test.cpp src/nowhere/stray.cpp
        src/evaluators/internal.cpp)
  string(FIND "${flat}" "${wrong}:" at)
  if(at EQUAL -1)
    fail("the check missed ${wrong}")
  endif()
endforeach()
foreach(right src/formula/right src/sample/right tests/ledger/right_test tests/ledger/helper
        tools/orvo/right tools/orvo/command src/evaluators/right)
  string(FIND "${flat}" "${right}." at)
  if(NOT at EQUAL -1)
    fail("the check refused ${right}")
  endif()
endforeach()
string(FIND "${flat}" "13 include(s)" at)
if(at EQUAL -1)
  fail("the check counted other than 13 wrong includes")
endif()

# The formula layer's include root: frame and the parser's public header
# compile, a companions header (internal or public) does not.
function(compile name text out)
  file(WRITE ${ORVO_WORK_DIR}/${name}.cpp "${text}\n")
  execute_process(
    COMMAND ${ORVO_CXX} -std=c++20 -fsyntax-only -I${ORVO_ROOTS}/formula
            ${ORVO_WORK_DIR}/${name}.cpp
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${out} ${result} PARENT_SCOPE)
  set(${out}_output "${output}" PARENT_SCOPE)
endfunction()
compile(right "#include \"frame/text.h\"\n#include \"orvo/parser.h\"" right)
if(NOT right EQUAL 0)
  fail("the formula root refused frame/text.h or orvo/parser.h: ${right_output}")
endif()
compile(up "#include \"companions/cell_key.h\"" up)
if(up EQUAL 0)
  fail("the formula root let companions/cell_key.h through")
endif()
compile(public_up "#include \"orvo/bookmarks.h\"" public_up)
if(public_up EQUAL 0)
  fail("the formula root let orvo/bookmarks.h through")
endif()

if(failures)
  string(REPLACE ";" "\n  " listed "${failures}")
  message(FATAL_ERROR "layering check:\n  ${listed}\n--- check output ---\n${output}")
endif()
message(STATUS "wrong-way includes refused by the check and by the include roots; compiler said: ${up_output}")
