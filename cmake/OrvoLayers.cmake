# The layers of the library and what each may use: one table, read by the
# build (which gives every layer and every test program an include root
# holding only what it may use, so an include the wrong way does not compile)
# and by cmake/check_layers.cmake (the `layering` test, which checks every
# #include line of src/, tools/, tests/, bench/ and fuzz/ against it).

# Layers, lowest first. `failure` is the failure type (orvo/error.h, built as
# orvo_failure below even xml); it has no folder of its own. `sample` is the
# sample-workspace generator, a library of the ledger family that hosts do
# not link.
set(ORVO_LAYERS
    failure xml frame formula companions evaluate preview delegating
    providers ledger sample evaluators)

# The layers each layer may use directly; what those may use follows.
set(ORVO_LAYER_USES_failure "")
set(ORVO_LAYER_USES_xml failure)
set(ORVO_LAYER_USES_frame xml)
set(ORVO_LAYER_USES_formula frame)
set(ORVO_LAYER_USES_companions frame)
set(ORVO_LAYER_USES_evaluate companions formula)
set(ORVO_LAYER_USES_preview evaluate)
set(ORVO_LAYER_USES_delegating preview)
# The reference outside components, beside frame.
set(ORVO_LAYER_USES_providers frame)
# The ledger reads workspace.xml through the providers' workspace reader.
set(ORVO_LAYER_USES_ledger frame providers)
set(ORVO_LAYER_USES_sample ledger)
# The reference evaluator components the delegating builders hand a build
# to: they run the library's own preview builder, as a host's component would.
set(ORVO_LAYER_USES_evaluators preview)

# Layers that reach the layers they use through the public headers only, as
# an outside component does: their include root holds their own folder and
# public headers, and the layering check refuses any other folder.
set(ORVO_PUBLIC_ONLY_LAYERS evaluators)

# The public headers (include/orvo/) each layer offers. Every public header
# belongs to exactly one layer; a layer sees only those of the layers it may
# use. Add a new public header here.
set(ORVO_LAYER_HEADERS_failure error.h)
set(ORVO_LAYER_HEADERS_xml xml.h)
set(ORVO_LAYER_HEADERS_frame cancel_check.h data_driver.h enums.h event.h external_evaluator.h providers.h)
set(ORVO_LAYER_HEADERS_formula parser.h)
set(ORVO_LAYER_HEADERS_evaluate formula_evaluator.h)
set(ORVO_LAYER_HEADERS_companions
    bookmarks.h collection.h dependency_table.h drill_down.h named_range.h)
set(ORVO_LAYER_HEADERS_preview preview_builder.h header_footer.h)
set(ORVO_LAYER_HEADERS_delegating delegating_builders.h)
set(ORVO_LAYER_HEADERS_sample sample_workspace.h)

# Test programs tests/<layer> may use what the layer may use, tests/support,
# their own folder, and these layers besides (test data, not code under test).
set(ORVO_TESTS_USE_ledger sample)

# Host-side libraries in tools/<name>/, above the whole library: like the
# program they see only the public headers. The program, the benchmarks and
# their own tests (tests/<name>/, with tests/support) include their headers
# as "<name>/<header>".
set(ORVO_HOST_LIBRARIES render)

# Folders outside src/ and what their files may include:
#   tools/orvo, tools/render, fuzz, tests/cli, tests/support: public
#   headers only (tools/orvo, bench and tests/render: also "render/...");
#   tests/integration, bench: everything (the whole library with its
#   reference components, as a host runs it).

# Only these folders include the headers of the C libraries behind them.
set(ORVO_LIBXML_FOLDERS src/xml)
set(ORVO_SQLITE_FOLDERS src/ledger src/sample)

# Sets `out` to `layer` and every layer it may use, directly or not.
function(orvo_layer_closure layer out)
  set(result ${layer})
  set(pending ${ORVO_LAYER_USES_${layer}})
  while(pending)
    list(POP_FRONT pending next)
    if(NOT next IN_LIST result)
      list(APPEND result ${next})
      list(APPEND pending ${ORVO_LAYER_USES_${next}})
    endif()
  endwhile()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Sets `out` to the layer owning public header `header` (e.g. "parser.h"),
# or to "" when none does.
function(orvo_header_owner header out)
  set(owner "")
  foreach(layer ${ORVO_LAYERS})
    if(header IN_LIST ORVO_LAYER_HEADERS_${layer})
      set(owner ${layer})
    endif()
  endforeach()
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()
