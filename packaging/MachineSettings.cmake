# SPDX-License-Identifier: GPL-3.0-or-later
# What installing changes on the machine beyond its files, and uninstalling takes back:
# - HKLM Software\Tembric\Vantrel "Path", the install folder;
# - HKCR CLSID\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\InprocServer32, the help viewer, when
#   a CHM viewer is installed;
# - the boot unit's link under /etc, made by `systemctl enable` when systemd runs.
# Uninstalling also drops a Safe Mode clone still waiting in RunOnce: nothing would run it
# at boot, and a later install must not carry out a clone scheduled before.
# Under VANTREL_SYSTEM_ROOT the simulated machine's registry is changed. A tree staged
# under DESTDIR alone is meant for another machine: nothing is changed, the commands that
# would be run there are printed.

# Included by the install and uninstall scripts, which run without the project's policies.
cmake_policy(VERSION 3.25)
set(VANTREL_VIEWER_KEY "HKCR\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}")

function(vantrel_staged_only result)
  if(NOT "$ENV{DESTDIR}" STREQUAL "" AND "$ENV{VANTREL_SYSTEM_ROOT}" STREQUAL "")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Runs vantrel-reg; a failed add stops the install, a failed delete only says so.
function(vantrel_reg)
  vantrel_staged_only(staged)
  if(staged)
    # Shown as a shell command: arguments with blanks or backslashes in single quotes.
    set(shown "")
    foreach(argument IN LISTS ARGN)
      if(argument MATCHES "[ \\{}]")
        set(argument "'${argument}'")
      endif()
      string(APPEND shown " ${argument}")
    endforeach()
    message(STATUS "Staged under DESTDIR; on the machine itself run: vantrel-reg${shown}")
    return()
  endif()
  execute_process(COMMAND "${VANTREL_REG}" ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
  list(GET ARGN 0 operation)
  if(NOT result EQUAL 0 AND operation STREQUAL "add")
    message(FATAL_ERROR "Cannot change the registry (vantrel-reg ${ARGN}): ${error}")
  elseif(NOT result EQUAL 0)
    message(STATUS "Nothing to remove from the registry: ${error}")
  endif()
endfunction()

# The help viewer in the registry, and whether it is one of VANTREL_CHM_VIEWERS (those an
# install registers; one the administrator chose is left alone).
function(vantrel_registered_viewer viewer ours)
  set(${viewer} "" PARENT_SCOPE)
  set(${ours} FALSE PARENT_SCOPE)
  vantrel_staged_only(staged)
  if(staged)
    return()
  endif()
  execute_process(COMMAND "${VANTREL_REG}" query "${VANTREL_VIEWER_KEY}\\InprocServer32" /ve
                  OUTPUT_VARIABLE shown ERROR_QUIET)
  if(shown MATCHES "REG_SZ    ([^\n]*)")
    set(${viewer} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    cmake_path(GET CMAKE_MATCH_1 FILENAME name)
    if(name IN_LIST VANTREL_CHM_VIEWERS)
      set(${ours} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

# action: add or delete.
function(vantrel_registry action)
  vantrel_registered_viewer(registered ours)
  if(action STREQUAL "add")
    vantrel_reg(add "HKLM\\Software\\Tembric\\Vantrel" /v Path /t REG_SZ /d "${VANTREL_FULL_INSTALL_FOLDER}/" /f)
    # The machine's PATH, so a staged or simulated install names the viewer of this machine.
    find_program(viewer NAMES ${VANTREL_CHM_VIEWERS} NO_CACHE)
    if(registered AND NOT ours)
      message(STATUS "The help viewer stays ${registered}, as registered")
    elseif(viewer)
      vantrel_reg(add "${VANTREL_VIEWER_KEY}\\InprocServer32" /ve /t REG_SZ /d "${viewer}" /f)
    else()
      message(STATUS "No CHM viewer (${VANTREL_CHM_VIEWERS}) found: Help opens Vantrel.chm with xdg-open")
    endif()
  else()
    vantrel_reg(delete "HKLM\\Software\\Tembric\\Vantrel" /v Path /f)
    vantrel_reg(delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
                /v "Vantrel Clone Partition" /f)
    if(ours)
      vantrel_reg(delete "${VANTREL_VIEWER_KEY}" /f)
    endif()
  endif()
endfunction()

# action: enable or disable.
function(vantrel_boot_unit action)
  set(command systemctl ${action} vantrel-runonce.service)
  list(JOIN command " " shown)
  find_program(systemctl systemctl NO_CACHE)
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Staged under DESTDIR; on the machine itself run: ${shown}")
  elseif(NOT IS_DIRECTORY /run/systemd/system OR NOT systemctl)
    message(STATUS "systemd is not running: the boot unit stays as it is; where it runs: ${shown}")
  else()
    execute_process(COMMAND "${systemctl}" daemon-reload)
    execute_process(COMMAND "${systemctl}" ${action} vantrel-runonce.service RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(WARNING "${shown} failed: Safe Mode clones will not run at boot")
    endif()
  endif()
endfunction()
