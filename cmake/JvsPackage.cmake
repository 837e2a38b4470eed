# Installed documents and the Debian package: `cpack -G DEB` in a release
# build folder. Whatever is installed lands in the package, so rules other
# parts install later need no edit here.

set(JVS_PACKAGE_MAINTAINER "The jvs-transfer developers <jvs-transfer@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

# Debian wants manual pages and the changelog compressed, without time stamps.
find_program(GZIP gzip REQUIRED)
set(doc_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${doc_out})
set(compressed "")
foreach(pair "jvs.1:jvs.1.gz" "jvs-transfer.1:jvs-transfer.1.gz" "changelog:changelog.gz")
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 in)
  list(GET pair 1 out)
  add_custom_command(OUTPUT ${doc_out}/${out}
                     COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/${in} > ${doc_out}/${out}
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${in})
  list(APPEND compressed ${doc_out}/${out})
endforeach()
add_custom_target(jvs_docs ALL DEPENDS ${compressed})
install(FILES ${doc_out}/jvs.1.gz ${doc_out}/jvs-transfer.1.gz DESTINATION share/man/man1)
install(FILES ${doc_out}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION share/doc/jvs-transfer)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
        RENAME jvs-transfer)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jvs-transfer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${JVS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "total station data transfer, conversion and editing")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "jvs-transfer connects a QMX210 or QMX610/710 total station to the PC by a
serial cable: it finds the port, downloads measurements as text, uploads
coordinate lists, code lists and road alignments, converts data into TERV
and ZeltaMap coordinate lists and DXF, and edits lists as tables. The user
interface is Chinese.

The package holds the desktop program with its help pages, and the console
companion jvs for scripts and machines without a display.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from the binaries; Qt's display plugins are loaded at run
# time, so shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# PROJ is opened by its soname when a grid is first used (src/geo), so
# shlibdeps cannot see it: the package holding the library is named here.
find_library(JVS_PROJ_LIBRARY NAMES proj)
set(jvs_proj_depends "")
if(JVS_PROJ_LIBRARY)
  file(REAL_PATH ${JVS_PROJ_LIBRARY} jvs_proj_real)
  execute_process(COMMAND dpkg-query -S ${jvs_proj_real} OUTPUT_VARIABLE jvs_proj_owner
                  ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "^[^:,]+" jvs_proj_package "${jvs_proj_owner}")
  if(jvs_proj_package)
    set(jvs_proj_depends ", ${jvs_proj_package}")
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins${jvs_proj_depends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Folders readable by all whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/JvsPackagePerms.cmake)
include(CPack)
