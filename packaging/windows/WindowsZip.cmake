# The Windows release archive vexal-<version>-windows.zip (cpack -G ZIP, or
# the build's target "package"): a folder per width, x64/ and x86/, each with
# the two DLLs, vexalcfg.exe and the utility side by side (each loads the
# next from its own folder) and ZamoCfg.lib, the import library for MSVC
# users; the public headers, the same for both widths; a short README and
# the licence. A host program takes the folder of its own width: a 32-bit
# program cannot load a 64-bit DLL, nor the reverse.
#
# This build fills its own width's folder; the other width's files come from
# the out/ folder of the build named by VEXAL_WINDOWS_OTHER_BUILD_DIR.
set(VEXAL_WINDOWS_OTHER_BUILD_DIR "" CACHE PATH
    "Windows build of the other width whose programs and libraries the archive holds as well")
if(VEXAL_WINDOWS_X86)
  set(vexal_other_width x64)
else()
  set(vexal_other_width x86)
endif()

# The other build's files are named as this build's (a file missing there
# fails the install, and with it the archive).
set(vexal_other_out ${VEXAL_WINDOWS_OTHER_BUILD_DIR}/out)
foreach(target zamoport ZamoCfg vexalcfg Vexal_Configuration_Utility)
  if(TARGET ${target})
    install(FILES $<TARGET_FILE:${target}> DESTINATION ${VEXAL_WINDOWS_WIDTH})
    if(VEXAL_WINDOWS_OTHER_BUILD_DIR)
      install(FILES ${vexal_other_out}/$<TARGET_FILE_NAME:${target}> DESTINATION ${vexal_other_width})
    endif()
  endif()
endforeach()
if(TARGET ZamoCfg)
  install(FILES ${CMAKE_BINARY_DIR}/out/ZamoCfg.lib DESTINATION ${VEXAL_WINDOWS_WIDTH})
  if(VEXAL_WINDOWS_OTHER_BUILD_DIR)
    install(FILES ${vexal_other_out}/ZamoCfg.lib DESTINATION ${vexal_other_width})
  endif()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/zamoport.h ${PROJECT_SOURCE_DIR}/include/zamocfg.h DESTINATION include)

# Text files with the line ends Windows editors expect.
function(vexal_windows_text source name)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/windows/${name} "${text}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/windows/${name} DESTINATION .)
endfunction()
vexal_windows_text(${CMAKE_CURRENT_SOURCE_DIR}/windows/README-Windows.txt README.txt)
vexal_windows_text(${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vexal)
set(CPACK_PACKAGE_VENDOR "Vexal")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME vexal-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
