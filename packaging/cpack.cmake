# The Debian package: `cpack -G DEB` in the build folder (or the `package` target). Everything
# installed by the project goes in below /usr; the dependencies come from the shared libraries
# the programs and the module link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvora-swf-trovex)
set(CPACK_PACKAGE_VENDOR "Kelvora SWF Trovex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and save the Flash movies of web pages")
# The long description; CPack puts the summary in front and indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Kelvora SWF Trovex lists every Flash movie a web page and its frames
embed and saves them into a folder, copying what the cache holds and
downloading the rest.
.
The package holds trovex-browser, a small browser whose toolbar button
opens the Save dialog with a live preview; trovex-save, which saves the
movies of many pages from a terminal or a script; trovex-regsvr; the
module with its preview player; and an extension for Chromium and
Firefox with trovex-native-host, which opens the same Save dialog for the
page shown in those browsers.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# CPack stages the DEB with DESTDIR and this prefix, so what the install writes at install time
# (the native messaging manifests) names /usr/bin/trovex-native-host, not the staging folder.
# CPACK_SET_DESTDIR would switch the prefix to CPACK_INSTALL_PREFIX (/usr/local): left off.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvora SWF Trovex developers <maintainers@kelvora-swf-trovex.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every text is Traditional Chinese: without a font that has its characters (apt told to skip
# Recommends) each one is a box, so one is a dependency; the smaller ones do as well. CPack adds
# the libraries' dependencies to this list.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-noto-cjk | fonts-arphic-uming | fonts-arphic-ukai | fonts-wqy-microhei | fonts-wqy-zenhei")
# Not libraries, but what the programs need to look right: the icon theme the dialogs take
# their icons from, the user folders.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, hicolor-icon-theme, xdg-user-dirs")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium | firefox-esr")
# The host manifests in /etc are the administrator's (packaging/CMakeLists.txt lists them).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/drop_ldconfig.cmake)
include(CPack)
