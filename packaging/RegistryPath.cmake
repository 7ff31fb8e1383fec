# The install folder as the value "Path" of HKLM Software\Tembric\Vantrel, set at install
# and removed at uninstall with vantrel-reg. Under VANTREL_SYSTEM_ROOT the simulated
# machine's registry is changed. A tree staged under DESTDIR alone is meant for another
# machine, whose registry is not this one's: nothing is changed, the command is printed.

# action: add or delete.
function(vantrel_registry_path action)
  set(folder "${VANTREL_FULL_INSTALL_FOLDER}/")
  if(action STREQUAL "add")
    set(arguments add "HKLM\\Software\\Tembric\\Vantrel" /v Path /t REG_SZ /d "${folder}" /f)
  else()
    set(arguments delete "HKLM\\Software\\Tembric\\Vantrel" /v Path /f)
  endif()
  if("$ENV{VANTREL_SYSTEM_ROOT}" STREQUAL "" AND NOT "$ENV{DESTDIR}" STREQUAL "")
    list(JOIN arguments " " shown)
    message(STATUS "Staged under DESTDIR; on the machine itself run: vantrel-reg ${shown}")
    return()
  endif()
  if(NOT VANTREL_REG)
    message(WARNING "vantrel-reg was not built: the install folder's registry value was not changed")
    return()
  endif()
  execute_process(COMMAND "${VANTREL_REG}" ${arguments} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
  if(NOT result EQUAL 0 AND action STREQUAL "add")
    message(FATAL_ERROR "Cannot set the install folder in the registry: ${error}")
  elseif(NOT result EQUAL 0)
    message(STATUS "The install folder was not in the registry: ${error}")
  endif()
endfunction()
