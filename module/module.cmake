# libswftrovex.so: the whole system in one loadable module. It links its own static copies of
# the layers and exports only the four server entry points (module.map); programs reach it
# through COM interfaces alone. The script page is put beside it.
add_library(trovex_module STATIC module.cpp class_factory.cpp registration.cpp app.cpp)
trovex_public_folder(trovex_module)
target_link_libraries(trovex_module
  PUBLIC trovex_base trovex_com trovex_com_activation
  PRIVATE trovex_automation trovex_preview trovex_settings trovex_res_strings trovex_text ${CMAKE_DL_LIBS})

set(trovex_resource_table ${CMAKE_CURRENT_BINARY_DIR}/module_resources.bin)
add_custom_command(OUTPUT ${trovex_resource_table}
  COMMAND trovex-rc ${trovex_resource_table}
  DEPENDS trovex-rc
  COMMENT "Writing the module's image resources"
  VERBATIM)
set_source_files_properties(module_resources.cpp PROPERTIES
  OBJECT_DEPENDS ${trovex_resource_table}
  COMPILE_DEFINITIONS "TROVEX_RESOURCE_TABLE=\"${trovex_resource_table}\"")

add_library(swftrovex SHARED module_exports.cpp module_resources.cpp)
target_link_libraries(swftrovex PRIVATE trovex_module)
set_target_properties(swftrovex PROPERTIES
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/module.map)
# nodelete: once loaded, the module's code stays mapped even after COM lets it go. The web
# view it links starts threads of the web engine at load that nothing can stop, and the toolkit
# keeps pointers into the module (window classes, event tables, the preview's parked window).
target_link_options(swftrovex PRIVATE
  -Wl,-z,nodelete
  -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/module.map
  -Wl,--exclude-libs,ALL
  -Wl,--no-undefined)
add_custom_command(TARGET swftrovex POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          ${CMAKE_CURRENT_SOURCE_DIR}/InternetExplorer.htm $<TARGET_FILE_DIR:swftrovex>/InternetExplorer.htm
  VERBATIM)

# Beside it, the preview installs its player (lib/kelvora-swf-trovex/player).
install(TARGETS swftrovex LIBRARY DESTINATION lib/kelvora-swf-trovex)
install(FILES InternetExplorer.htm DESTINATION lib/kelvora-swf-trovex)
