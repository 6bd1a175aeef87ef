# The Debian package: what `cmake --install` puts in place, with the shared-library dependencies
# worked out by dpkg-shlibdeps. scripts/package builds it; the Resources.package test makes one from
# the test build and checks its contents.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moonforge)
set(CPACK_PACKAGE_VENDOR "The Moonforge developers")
set(CPACK_PACKAGE_CONTACT "The Moonforge developers <developers@moonforge.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "upscale photos and generate images and video with hosted models")
# Debian wants the long description's lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Moonforge runs hosted machine-learning models on the Replicate service with
the user's own API token. It upscales photos (results saved beside the
originals, compared side by side), generates images from prompts and
reference images, and generates video clips from prompts. It estimates the
cost of queued work, runs up to four predictions at once, never overwrites a
file and keeps a history of finished results. The token is kept in the system
keyring and is sent only to the service's API host.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker cannot see: the video thumbnailer, libheif and LibRaw are opened at run time,
# image formats, media playback and the journal's SQLite driver come as Qt and GStreamer plugins,
# and file types are read from the shared MIME database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libffmpegthumbnailer4v5, libheif1 (>= 1.15.1), libraw20 (>= 0.20.2), qt6-image-formats-plugins, libqt6sql6-sqlite, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, shared-mime-info")
# The token needs a Secret Service provider; Wayland sessions want Qt's Wayland platform plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager | keepassxc, qt6-wayland")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
