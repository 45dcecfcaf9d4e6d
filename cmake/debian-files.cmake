# Run by CPack before it makes the Debian package: adds the files that only the package has to its
# staging folder, the compressed changelog and the lintian overrides.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share")
execute_process(COMMAND gzip -9n -c "${CPACK_RIZ_CHANGELOG}"
                OUTPUT_FILE "${root}/doc/rizorodozido/changelog.gz" COMMAND_ERROR_IS_FATAL ANY)
file(MAKE_DIRECTORY "${root}/lintian/overrides")
file(COPY_FILE "${CPACK_RIZ_OVERRIDES}" "${root}/lintian/overrides/rizorodozido")
