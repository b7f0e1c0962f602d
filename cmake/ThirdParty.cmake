# Imported targets for the libraries the project uses: the two built by scripts/setup and
# the Debian packages.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

if(NOT EXISTS "${QZ_THIRD_PARTY}/lib/liblua.a")
  message(FATAL_ERROR "Lua is not built in ${QZ_THIRD_PARTY}: run scripts/setup first")
endif()

add_library(qz_lua STATIC IMPORTED GLOBAL)
set_target_properties(qz_lua PROPERTIES
  IMPORTED_LOCATION "${QZ_THIRD_PARTY}/lib/liblua.a"
  INTERFACE_INCLUDE_DIRECTORIES "${QZ_THIRD_PARTY}/include/lua"
  INTERFACE_LINK_LIBRARIES "dl;m")
add_library(Qz::lua ALIAS qz_lua)

add_library(qz_box2d STATIC IMPORTED GLOBAL)
set_target_properties(qz_box2d PROPERTIES
  IMPORTED_LOCATION "${QZ_THIRD_PARTY}/lib/libbox2d.a"
  INTERFACE_INCLUDE_DIRECTORIES "${QZ_THIRD_PARTY}/include")
add_library(Qz::box2d ALIAS qz_box2d)

set(QZ_LUAC "${QZ_THIRD_PARTY}/bin/luac")

pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(GL REQUIRED IMPORTED_TARGET gl)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(YAJL REQUIRED IMPORTED_TARGET yajl)
pkg_check_modules(SDL2_IMAGE REQUIRED IMPORTED_TARGET SDL2_image)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
# Writers of the less common picture files the image tests decode.
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
# FFmpeg decodes what libsndfile cannot (AAC, compressed CAF) and the intro movie.
pkg_check_modules(NETTLE REQUIRED IMPORTED_TARGET nettle)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libswresample libavutil)

find_package(GTest REQUIRED)
if(QZ_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
