# The model built to WebAssembly for the report's interactive section, and the
# generated source that puts it and the section's script into surgekit.
# Sets KIT_WEB_ASSETS (the generated source) and SURGE_WEB_MODEL_SKIPPED (why
# the model is not built, empty when it is).
set(web_dir ${PROJECT_SOURCE_DIR}/src/web)
set(web_out ${CMAKE_BINARY_DIR}/web)
file(MAKE_DIRECTORY ${web_out})
find_program(SURGE_EMXX em++)
set(SURGE_WEB_MODEL_SKIPPED "")
set(web_module "")
if(SURGE_EMXX)
  # Only the model and its wrapper: an include root that holds the model's
  # headers and nothing else of the tree.
  set(web_include ${web_out}/include)
  file(MAKE_DIRECTORY ${web_include})
  if(NOT EXISTS ${web_include}/model)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/model ${web_include}/model SYMBOLIC)
  endif()
  set(web_exports _surge_web_column_count _surge_web_set _surge_web_get _surge_web_evaluate
                  _surge_web_surge _surge_web_x _surge_web_response _surge_web_curve
                  _surge_web_side)
  list(JOIN web_exports "," web_exports)
  set(web_module ${web_out}/surge_model.js)
  # Debian's emscripten finds its JavaScript packages (acorn) through NODE_PATH
  # when the node on PATH is not Debian's own. The model asserts its location
  # and the wrapper checks it, so NDEBUG leaves the assertion's message code out.
  # Compiling synchronously reads the embedded module without any fetch.
  add_custom_command(
    OUTPUT ${web_module}
    COMMAND ${CMAKE_COMMAND} -E env "NODE_PATH=/usr/share/nodejs:$ENV{NODE_PATH}"
            ${SURGE_EMXX} -std=c++20 -O2 -DNDEBUG -ffp-contract=off -I${web_include}
            ${web_dir}/surge_web.cpp ${PROJECT_SOURCE_DIR}/src/model/surge.cpp
            -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=createSurgeModel -sENVIRONMENT=web
            -sWASM_ASYNC_COMPILATION=0 -sFILESYSTEM=0 -sMALLOC=emmalloc
            -sEXPORTED_FUNCTIONS=${web_exports}
            -o ${web_module}
    DEPENDS ${web_dir}/surge_web.cpp ${PROJECT_SOURCE_DIR}/src/model/surge.cpp
            ${PROJECT_SOURCE_DIR}/src/model/surge.h ${PROJECT_SOURCE_DIR}/src/model/site_table.h
    COMMENT "Building the model to WebAssembly for the report page"
    VERBATIM)
else()
  set(SURGE_WEB_MODEL_SKIPPED "em++ (emscripten) not found")
  message(STATUS "em++ not found: the report page has no interactive section "
                 "(install emscripten)")
endif()

set(KIT_WEB_ASSETS ${web_out}/web_assets.cpp)
add_custom_command(
  OUTPUT ${KIT_WEB_ASSETS}
  COMMAND ${CMAKE_COMMAND} -DMODULE=${web_module} -DSCRIPT=${web_dir}/report_interactive.js
          "-DREASON=this surgekit was built without emscripten (em++), which compiles the model for the page"
          -DOUTPUT=${KIT_WEB_ASSETS} -P ${web_dir}/embed.cmake
  DEPENDS ${web_module} ${web_dir}/report_interactive.js ${web_dir}/embed.cmake
  COMMENT "Embedding the report page's scripts"
  VERBATIM)
