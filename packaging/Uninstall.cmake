# SPDX-License-Identifier: GPL-3.0-or-later
# Removes what the install added: the boot unit's link, the files it listed, its own
# folders once they are empty (a report, a colour file or the HKLM store left in the
# install folder keeps it), and its registry entries. The settings and drive letters in
# the store are the machine's: they stay.
include("${CMAKE_CURRENT_LIST_DIR}/MachineSettings.cmake")

set(list_file "$ENV{DESTDIR}${VANTREL_FULL_INSTALL_FOLDER}/installed-files.txt")
if(NOT EXISTS "${list_file}")
  message(FATAL_ERROR "Nothing to uninstall: ${list_file} is missing")
endif()

vantrel_boot_unit(disable)
file(STRINGS "${list_file}" installed)
foreach(file IN LISTS installed)
  set(path "$ENV{DESTDIR}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()
file(REMOVE "${list_file}")

foreach(folder IN LISTS VANTREL_OWN_FOLDERS)
  set(path "$ENV{DESTDIR}${folder}")
  file(GLOB left "${path}/*")
  if(IS_DIRECTORY "${path}" AND NOT left)
    file(REMOVE_RECURSE "${path}")
  endif()
endforeach()

vantrel_registry(delete)
