# trovex_public_folder(target): the target exports its own source folder and nothing else.
# A folder of the target's own in the build tree holds one link named like the source folder
# (include/trovex_scan/scan -> <source>/scan), so "scan/document_walker.h" keeps its name but is
# found only by the targets that link trovex_scan: a missing link fails to compile.
function(trovex_public_folder target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
