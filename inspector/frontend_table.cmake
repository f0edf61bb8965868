# The embedded frontend: the asset table and the protocol handler.
#
# The host tool asset_table_generator walks the frontend directory and writes an assembler
# file that pulls every file in with .incbin, plus the constant records that view it.

set(VORPEL_FRONTEND_DIR "${CMAKE_CURRENT_SOURCE_DIR}/frontend/node_modules/chii/public/front_end"
    CACHE PATH "The DevTools frontend directory to embed (has js_app.html at its top)")
set(VORPEL_HOST_GENERATOR "" CACHE FILEPATH
    "A prebuilt asset_table_generator for the build host (cross builds only; optional)")
set(VORPEL_HOST_CXX "c++" CACHE STRING "The host C++ compiler for the generator in cross builds")

if(NOT IS_DIRECTORY "${VORPEL_FRONTEND_DIR}")
  message(FATAL_ERROR "The frontend directory ${VORPEL_FRONTEND_DIR} is missing. "
                      "Run scripts/setup.sh (npm ci in inspector/frontend) first.")
endif()
if(NOT EXISTS "${VORPEL_FRONTEND_DIR}/js_app.html")
  message(FATAL_ERROR "The frontend directory ${VORPEL_FRONTEND_DIR} has no js_app.html. "
                      "Run scripts/setup.sh (npm ci in inspector/frontend) again.")
endif()

# Re-globbed at every build, so an added or removed file regenerates the table.
file(GLOB_RECURSE vorpel_frontend_files LIST_DIRECTORIES false CONFIGURE_DEPENDS
     "${VORPEL_FRONTEND_DIR}/*")
list(LENGTH vorpel_frontend_files vorpel_frontend_file_count)
list(JOIN vorpel_frontend_files "\n" vorpel_frontend_file_text)
# COPYONLY keeps the list file's time when the set is unchanged.
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/frontend_files.txt.new" "${vorpel_frontend_file_text}\n")
configure_file("${CMAKE_CURRENT_BINARY_DIR}/frontend_files.txt.new"
               "${CMAKE_CURRENT_BINARY_DIR}/frontend_files.txt" COPYONLY)

# The generator runs on the build host, also when the program is cross-compiled.
if(NOT CMAKE_CROSSCOMPILING)
  add_subdirectory(asset_table_generator)
  set(vorpel_generator_command $<TARGET_FILE:asset_table_generator>)
  set(vorpel_generator_depends asset_table_generator)
elseif(VORPEL_HOST_GENERATOR)
  set(vorpel_generator_command "${VORPEL_HOST_GENERATOR}")
  set(vorpel_generator_depends "${VORPEL_HOST_GENERATOR}")
else()
  include(ExternalProject)
  set(vorpel_generator_binary_dir "${CMAKE_CURRENT_BINARY_DIR}/asset_table_generator-host")
  ExternalProject_Add(asset_table_generator_host
    SOURCE_DIR "${CMAKE_CURRENT_SOURCE_DIR}/asset_table_generator"
    BINARY_DIR "${vorpel_generator_binary_dir}"
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_COMPILER=${VORPEL_HOST_CXX}"
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS "${vorpel_generator_binary_dir}/asset_table_generator")
  set(vorpel_generator_command "${vorpel_generator_binary_dir}/asset_table_generator")
  set(vorpel_generator_depends asset_table_generator_host
                               "${vorpel_generator_binary_dir}/asset_table_generator")
endif()

if(WIN32)
  set(vorpel_object_format coff)
else()
  set(vorpel_object_format elf)
endif()

set(vorpel_frontend_generated "${CMAKE_CURRENT_BINARY_DIR}/frontend_generated")
add_custom_command(
  OUTPUT "${vorpel_frontend_generated}/frontend_asset_blob.S"
         "${vorpel_frontend_generated}/frontend_asset_records.inc"
  COMMAND ${vorpel_generator_command}
          --input "${VORPEL_FRONTEND_DIR}"
          --output-dir "${vorpel_frontend_generated}"
          --object-format ${vorpel_object_format}
  DEPENDS ${vorpel_generator_depends}
          ${vorpel_frontend_files}
          "${CMAKE_CURRENT_BINARY_DIR}/frontend_files.txt"
          "${CMAKE_CURRENT_SOURCE_DIR}/frontend/package-lock.json"
  COMMENT "Generating the embedded frontend table (${vorpel_frontend_file_count} files)"
  VERBATIM)

add_library(vorpel_frontend STATIC
  src/frontend_assets.cpp
  src/frontend_protocol_handler.cpp
  "${vorpel_frontend_generated}/frontend_asset_blob.S"
  "${vorpel_frontend_generated}/frontend_asset_records.inc"
)
set_source_files_properties("${vorpel_frontend_generated}/frontend_asset_records.inc"
                            PROPERTIES HEADER_FILE_ONLY ON)
target_include_directories(vorpel_frontend PUBLIC src PRIVATE "${vorpel_frontend_generated}")
