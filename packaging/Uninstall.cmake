# Removes what the install added: the files it listed in the install folder, the folders
# it made once they are empty (a report or colour file left there keeps the folder), and
# the install folder's registry value.
include("${CMAKE_CURRENT_LIST_DIR}/RegistryPath.cmake")

set(list_file "$ENV{DESTDIR}${VANTREL_FULL_INSTALL_FOLDER}/installed-files.txt")
if(NOT EXISTS "${list_file}")
  message(FATAL_ERROR "Nothing to uninstall: ${list_file} is missing")
endif()

file(STRINGS "${list_file}" installed)
foreach(file IN LISTS installed)
  set(path "$ENV{DESTDIR}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()
file(REMOVE "${list_file}")

foreach(folder "${VANTREL_FULL_INSTALL_FOLDER}" "${VANTREL_UNIT_WANTS}")
  set(path "$ENV{DESTDIR}${folder}")
  file(GLOB left "${path}/*")
  if(IS_DIRECTORY "${path}" AND NOT left)
    file(REMOVE_RECURSE "${path}")
  endif()
endforeach()

vantrel_registry_path(delete)
