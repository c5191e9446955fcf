# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the -posix
# variant: the -win32 one has no std::thread or std::mutex).
#
# The libraries the program needs (GLib, GMime, libcurl and Qt built for Windows)
# come from scripts/build-windows-deps, which keeps them outside the source
# tree; MARROWGATE_WINDOWS_DEPS names that folder (default: the "mingw64"
# folder of $MARROWGATE_CACHE, or of /var/cache/marrowgate).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MARROWGATE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MARROWGATE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARROWGATE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MARROWGATE_MINGW_TRIPLET}-windres)

if(NOT MARROWGATE_WINDOWS_DEPS)
  if(DEFINED ENV{MARROWGATE_WINDOWS_DEPS})
    set(MARROWGATE_WINDOWS_DEPS "$ENV{MARROWGATE_WINDOWS_DEPS}")
  elseif(DEFINED ENV{MARROWGATE_CACHE})
    set(MARROWGATE_WINDOWS_DEPS "$ENV{MARROWGATE_CACHE}/mingw64")
  else()
    set(MARROWGATE_WINDOWS_DEPS /var/cache/marrowgate/mingw64)
  endif()
endif()
set(MARROWGATE_WINDOWS_DEPS "${MARROWGATE_WINDOWS_DEPS}" CACHE PATH
    "Folder holding the Windows builds of GLib, GMime (sysroot) and Qt (qt)")
# try_compile projects see only what is listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MARROWGATE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH
    ${MARROWGATE_WINDOWS_DEPS}/qt ${MARROWGATE_WINDOWS_DEPS}/sysroot
    ${MARROWGATE_WINDOWS_DEPS}/curl /usr/${MARROWGATE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages: the Windows ones first; header-only ones (CLI11) and Qt's host
# tools (moc, rcc, uic) come from the Linux side.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(QT_HOST_PATH /usr CACHE PATH "Qt's host tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Qt's host tools")

# pkg-config must see only the Windows libraries (zlib's are Debian's).
set(ENV{PKG_CONFIG_LIBDIR}
    "${MARROWGATE_WINDOWS_DEPS}/sysroot/lib/pkgconfig:${MARROWGATE_WINDOWS_DEPS}/curl/lib/pkgconfig:/usr/${MARROWGATE_MINGW_TRIPLET}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Tests run the Windows programs under wine, with the DLLs of these folders.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env MARROWGATE_WINDOWS_DEPS=${MARROWGATE_WINDOWS_DEPS}
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
