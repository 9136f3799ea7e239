# TagLib and libvorbisfile (with libvorbisenc for the test fixtures).
# Natively they come from Debian's -dev packages; for Windows from the static
# cross-built copies that scripts/bootstrap leaves in AURALITH_DEPS_DIR (and,
# for the 32-bit plug-in, AURALITH_DEPS_DIR32).

# The folder of one target's cross-built dependencies: <variable> from the
# environment, else <default> in the shared cache.
function(auralith_deps_dir result variable default)
  if(DEFINED ENV{${variable}})
    set(${result} "$ENV{${variable}}" PARENT_SCOPE)
  else()
    set(${result} "$ENV{HOME}/.cache/auralith-deps/${default}" PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    auralith_deps_dir(default_deps_dir AURALITH_DEPS_DIR32 mingw32)
  else()
    auralith_deps_dir(default_deps_dir AURALITH_DEPS_DIR mingw64)
    auralith_deps_dir(default_deps_dir32 AURALITH_DEPS_DIR32 mingw32)
    set(AURALITH_DEPS_DIR32 "${default_deps_dir32}" CACHE PATH "Cross-built dependencies of the 32-bit plug-in")
  endif()
  set(AURALITH_DEPS_DIR "${default_deps_dir}" CACHE PATH "Cross-built dependencies")
  if(NOT EXISTS ${AURALITH_DEPS_DIR}/.stamp)
    message(FATAL_ERROR "No cross-built dependencies in ${AURALITH_DEPS_DIR}: run scripts/bootstrap")
  endif()
  foreach(lib tag vorbisfile vorbisenc vorbis ogg)
    # The folder lies outside the toolchain's find root: search it as it is.
    find_library(AURALITH_LIB_${lib} NAMES lib${lib}.a PATHS ${AURALITH_DEPS_DIR}/lib
                 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  endforeach()
  add_library(auralith::taglib INTERFACE IMPORTED)
  target_include_directories(auralith::taglib INTERFACE ${AURALITH_DEPS_DIR}/include ${AURALITH_DEPS_DIR}/include/taglib)
  target_compile_definitions(auralith::taglib INTERFACE TAGLIB_STATIC)
  target_link_libraries(auralith::taglib INTERFACE ${AURALITH_LIB_tag})
  add_library(auralith::vorbisfile INTERFACE IMPORTED)
  target_include_directories(auralith::vorbisfile INTERFACE ${AURALITH_DEPS_DIR}/include)
  target_link_libraries(auralith::vorbisfile INTERFACE ${AURALITH_LIB_vorbisfile} ${AURALITH_LIB_vorbis} ${AURALITH_LIB_ogg})
  add_library(auralith::vorbisenc INTERFACE IMPORTED)
  target_link_libraries(auralith::vorbisenc INTERFACE ${AURALITH_LIB_vorbisenc} auralith::vorbisfile)
  list(PREPEND CMAKE_PREFIX_PATH ${AURALITH_DEPS_DIR})
  list(PREPEND CMAKE_FIND_ROOT_PATH ${AURALITH_DEPS_DIR})
  # One self-contained executable each: nothing to ship beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib)
  pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
  # The code calls libvorbis (vorbis_comment_query) and libogg directly too,
  # which vorbisfile.pc keeps private.
  pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET vorbis ogg)
  pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc)
  add_library(auralith::taglib INTERFACE IMPORTED)
  target_link_libraries(auralith::taglib INTERFACE PkgConfig::TAGLIB)
  add_library(auralith::vorbisfile INTERFACE IMPORTED)
  target_link_libraries(auralith::vorbisfile INTERFACE PkgConfig::VORBISFILE PkgConfig::VORBIS)
  add_library(auralith::vorbisenc INTERFACE IMPORTED)
  target_link_libraries(auralith::vorbisenc INTERFACE PkgConfig::VORBISENC auralith::vorbisfile)
endif()

if(AURALITH_TESTS)
  find_package(GTest REQUIRED)
endif()
