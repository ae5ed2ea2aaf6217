# Read by cpack (CPACK_PROJECT_CONFIG_FILE): a Debian package installs into
# /usr and holds the whole program, desktop windows, Python module and manual
# page included.
if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "A Debian package installs into /usr, but this build folder is configured for "
    "${CPACK_PACKAGING_INSTALL_PREFIX}; scripts/package.sh builds the package from a folder of its own")
endif()
list(GET CPACK_TAVOX_COMPLETE 0 ui)
list(GET CPACK_TAVOX_COMPLETE 1 python)
list(GET CPACK_TAVOX_COMPLETE 2 scdoc)
if(NOT ui OR NOT python OR NOT scdoc)
  message(FATAL_ERROR "The package needs the desktop windows (qt6-base-dev), the Python module "
    "(pybind11-dev, python3-dev) and the manual page (scdoc)")
endif()
