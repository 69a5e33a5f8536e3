# The toolkit, found once: trovex_wx (core and base) and trovex_wx_webview (the web view on top),
# and the precompiled toolkit headers that every folder using the toolkit shares.
find_package(wxWidgets 3.2 REQUIRED COMPONENTS webview core base)
set(trovex_wx_core_libraries ${wxWidgets_LIBRARIES})
# Only the web view's users load the web engine's libraries.
list(FILTER trovex_wx_core_libraries EXCLUDE REGEX "webview")
add_library(trovex_wx INTERFACE)
target_include_directories(trovex_wx SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
target_compile_definitions(trovex_wx INTERFACE ${wxWidgets_DEFINITIONS})
target_compile_options(trovex_wx INTERFACE ${wxWidgets_CXX_FLAGS})
target_link_libraries(trovex_wx INTERFACE ${trovex_wx_core_libraries})

add_library(trovex_wx_webview INTERFACE)
target_link_libraries(trovex_wx_webview INTERFACE trovex_wx ${wxWidgets_LIBRARIES})

# One precompiled header for libraries (position-independent code) and one for programs and
# tests (position-independent executables): the compiler takes a precompiled header only where
# it was made with the same code-generation flags.
set(trovex_wx_pch_headers <wx/wx.h> <wx/listctrl.h> <wx/treectrl.h> <wx/webview.h>)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/trovex_wx_pch.cpp CONTENT "int main() { return 0; }\n")
# Built only as what a user of the headers waits for.
add_library(trovex_wx_pch_lib STATIC EXCLUDE_FROM_ALL ${CMAKE_BINARY_DIR}/trovex_wx_pch.cpp)
target_link_libraries(trovex_wx_pch_lib PRIVATE trovex_wx)
target_precompile_headers(trovex_wx_pch_lib PRIVATE ${trovex_wx_pch_headers})
add_executable(trovex_wx_pch_exe EXCLUDE_FROM_ALL ${CMAKE_BINARY_DIR}/trovex_wx_pch.cpp)
target_link_libraries(trovex_wx_pch_exe PRIVATE trovex_wx)
target_precompile_headers(trovex_wx_pch_exe PRIVATE ${trovex_wx_pch_headers})

# trovex_use_wx_pch(target): the target's sources start from the precompiled toolkit headers.
function(trovex_use_wx_pch target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_precompile_headers(${target} REUSE_FROM trovex_wx_pch_exe)
  else()
    target_precompile_headers(${target} REUSE_FROM trovex_wx_pch_lib)
  endif()
endfunction()
