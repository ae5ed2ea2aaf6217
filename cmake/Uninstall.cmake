# [DESTDIR=<staging root>] cmake -DMANIFEST=<install_manifest.txt> -P Uninstall.cmake
# Removes what `cmake --install` put in place: every file the manifest lists
# (below $DESTDIR when the install was staged there), the byte-compiled files
# python3 wrote next to an installed .py file, then the folders of tavox's own
# (a "tavox" in their path) that are left empty. Shared folders such as
# share/applications stay.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest at ${MANIFEST}: nothing was installed from this build folder")
endif()
file(STRINGS "${MANIFEST}" installed)
set(folders "")
foreach(path IN LISTS installed)
  set(path "$ENV{DESTDIR}${path}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    file(REMOVE "${path}")
    message(STATUS "Removed ${path}")
  endif()
  get_filename_component(folder "${path}" DIRECTORY)
  if(path MATCHES "\\.py$")
    file(REMOVE_RECURSE "${folder}/__pycache__")
  endif()
  list(APPEND folders "${folder}")
endforeach()
# Deepest folders first, so that a parent is empty once its children are gone.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  while(folder MATCHES "/tavox(/|$)" AND IS_DIRECTORY "${folder}")
    file(GLOB left "${folder}/*" "${folder}/.*")
    if(left)
      break()
    endif()
    file(REMOVE_RECURSE "${folder}")
    message(STATUS "Removed ${folder}/")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
