# Run by CPack before it builds the packages: the changelog installed into them must describe
# the version being packaged.
file(STRINGS "${CPACK_VANTREL_CHANGELOG}" head LIMIT_COUNT 1)
if(NOT head MATCHES "^vantrel-cli \\(${CPACK_VANTREL_DEBIAN_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with \"${head}\": add an entry for ${CPACK_VANTREL_DEBIAN_VERSION}")
endif()
