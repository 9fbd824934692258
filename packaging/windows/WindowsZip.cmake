# The Windows release archive vexal-<version>-win64.zip (cpack -G ZIP, or the
# build's target "package"): the two DLLs and vexalcfg.exe side by side, so
# each loads the next from its own folder; the public headers; ZamoCfg.lib,
# the import library for MSVC users; a short README and the licence.
foreach(target zamoport ZamoCfg vexalcfg Vexal_Configuration_Utility)
  if(TARGET ${target})
    install(FILES $<TARGET_FILE:${target}> DESTINATION .)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/include/zamoport.h ${PROJECT_SOURCE_DIR}/include/zamocfg.h DESTINATION include)
if(TARGET ZamoCfg)
  install(FILES ${CMAKE_BINARY_DIR}/out/ZamoCfg.lib DESTINATION lib)
endif()

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
set(CPACK_PACKAGE_FILE_NAME vexal-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
