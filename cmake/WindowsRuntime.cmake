# What the Windows programs load besides themselves: Qt's DLLs and plugins and the
# compiler's C++ runtime. They are copied beside the programs, so that the programs and
# the tests run from the build folder as they will from the unpacked zip, and installed
# with them (`cmake --install`): the install folder is what the zip holds.

set(TOLVANE_RUNTIME_DLLS)
set(runtime_names)
if(MINGW)
  set(runtime_names libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
endif()
foreach(dll ${runtime_names})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${dll}")
  endif()
  get_filename_component(found "${found}" REALPATH)
  list(APPEND TOLVANE_RUNTIME_DLLS "${found}")
endforeach()

set(qt_dlls $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
# The offscreen platform serves only the tests; it stays out of the zip.
add_custom_target(tolvane_windows_runtime ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt_dlls} ${TOLVANE_RUNTIME_DLLS} ${bin}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
          $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin> ${bin}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${bin}/styles
  VERBATIM)
add_dependencies(tolvane tolvane_windows_runtime)
add_dependencies(tolvane-cli tolvane_windows_runtime)

install(TARGETS tolvane tolvane-cli RUNTIME DESTINATION .)
install(FILES ${qt_dlls} ${TOLVANE_RUNTIME_DLLS} DESTINATION .)
# Debian ships the compiler's DLLs with their symbol tables (libstdc++ 23 MB, 2 MB without).
foreach(dll ${TOLVANE_RUNTIME_DLLS})
  get_filename_component(dll ${dll} NAME)
  install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dll}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# Qt's own Japanese texts (the buttons of a message box), as the Linux build has them;
# .qm files are the same on every platform. qt.conf makes the program's folder Qt's prefix.
find_file(TOLVANE_QTBASE_JA qtbase_ja.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(TOLVANE_QTBASE_JA)
  install(FILES ${TOLVANE_QTBASE_JA} DESTINATION translations)
  file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n")
  install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION .)
else()
  message(WARNING "qtbase_ja.qm not found (qt6-translations-l10n): Qt's dialogs will speak English")
endif()
