# The Debian package, built by CPack from the install rules: `make package`
# (or `cpack --config build/default/CPackConfig.cmake`).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${SV_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "sceneview and Tegulo developers")
set(CPACK_PACKAGE_CONTACT "sceneview and Tegulo developers <sceneview-tegulo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D scene viewer and bitmap tiling tool")
set(CPACK_PACKAGE_DESCRIPTION
    "Two small desktop programs that ship together.
sceneview shows the 3D scene of a file named trans.dat with its own software
renderer; the arrow and Page keys move and turn the camera, and its menu copies
the picture to the clipboard and sets the background colour.
Tegulo opens a BMP picture, repeats its top-left block (3, 5 or 9 pixels wide)
every 8 pixels over the whole picture and saves the result as BMP.
Companion tools: scenetool (inspects, checks and renders scene files),
scenegen (writes demo and test scenes) and tegulo-batch (Tegulo's transform
for many pictures).")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies (the Qt 6 runtime) come from dpkg-shlibdeps; the Korean
# captions need a font that has Hangul.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# No source package: the repository is the source.
set(CPACK_SOURCE_GENERATOR "")

include(CPack)
