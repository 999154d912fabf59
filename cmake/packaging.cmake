# What an install adds beyond the programs and the catalogue: man pages, shell
# completion, the licence, AppStream metadata, and the Debian package that
# cpack makes of it all. Included from the top CMakeLists.txt after src/app.

# Man pages: roff sources in docs/man with the version and date filled in,
# installed compressed.
set(_man_pages velmora-cli velmora-phone-sim)
if(TARGET velmora-window)
  list(APPEND _man_pages velmora)
endif()
set(_man_outputs)
set(VELMORA_MAN_PAGES)
foreach(_page ${_man_pages})
  set(_roff ${PROJECT_BINARY_DIR}/man/${_page}.1)
  list(APPEND VELMORA_MAN_PAGES ${_roff})
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${_page}.1.in ${_roff} @ONLY)
  add_custom_command(OUTPUT ${_roff}.gz
    COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$0.gz\"" ${_roff}
    DEPENDS ${_roff} ${PROJECT_SOURCE_DIR}/docs/man/${_page}.1.in
    VERBATIM)
  list(APPEND _man_outputs ${_roff}.gz)
endforeach()
add_custom_target(velmora_man ALL DEPENDS ${_man_outputs})
install(FILES ${_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Completion for velmora-cli. zsh looks in vendor-completions for the system's
# packages and in site-functions for local installs.
install(FILES res/completion/velmora-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME velmora-cli)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(_zsh_dir ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
else()
  set(_zsh_dir ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
endif()
set(VELMORA_ZSH_COMPLETION_DIR ${_zsh_dir} CACHE STRING "Where _velmora-cli is installed")
install(FILES res/completion/_velmora-cli DESTINATION ${VELMORA_ZSH_COMPLETION_DIR})

# The licence, where Debian keeps a package's copyright.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
# The technician's guide and its page of result codes.
install(FILES docs/guide.md docs/result-codes.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What lintian reports that is so on purpose.
install(FILES res/velmora.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)

if(TARGET velmora-window)
  set(VELMORA_METAINFO ${PROJECT_BINARY_DIR}/velmora.metainfo.xml)
  configure_file(res/velmora.metainfo.xml.in ${VELMORA_METAINFO} @ONLY)
  install(FILES ${VELMORA_METAINFO}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# A stripped install (cmake --install --strip, and cpack) also drops the
# .comment and .note sections, as Debian's packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(_program velmora-cli velmora-phone-sim velmora)
      set(_file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${_program}\")
      if(EXISTS \"\${_file}\")
        execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
          \"\${_file}\")
      endif()
    endforeach()
  endif()")

# The Debian package: cpack -G DEB in the build folder. Configure with
# -DCMAKE_INSTALL_PREFIX=/usr for a package; its library dependencies are
# found by dpkg-shlibdeps.
set(VELMORA_PACKAGE_CONTACT "the Velmora developers <velmora@invalid>"
  CACHE STRING "Maintainer of the Debian package (name <address>)")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELMORA_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VENDOR "the Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "NAND flash download tool for PNX5220 phones")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmora writes firmware into the NAND flash of mobile phones built on the NXP
PNX5220 platform, reads NAND back into files and erases NAND regions, over a
serial line or USB. It comes as a window (velmora), a command line for scripts
and production lines (velmora-cli) and a simulated phone (velmora-phone-sim)
for a first try without a phone.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts are Chinese (by default); without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# A Debian package carries its changelog.
execute_process(COMMAND date -u -R -d ${VELMORA_RELEASE_DATE}
  OUTPUT_VARIABLE _release_date_rfc2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
set(_changelog ${PROJECT_BINARY_DIR}/package/changelog)
file(WRITE ${_changelog}
  "velmora (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- ${VELMORA_PACKAGE_CONTACT}  ${_release_date_rfc2822}\n")
add_custom_command(OUTPUT ${_changelog}.gz
  COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$0.gz\"" ${_changelog}
  DEPENDS ${_changelog}
  VERBATIM)
add_custom_target(velmora_changelog ALL DEPENDS ${_changelog}.gz)
install(FILES ${_changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
