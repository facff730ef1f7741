# Each Windows program carries its icon, a version resource (Properties > Details) and a
# manifest, made from one template per kind with the program's own name and description.
set(TOLVANE_PUBLISHER "Tolvane developers" CACHE STRING "The publisher named by the programs and the installer")
set(TOLVANE_COPYRIGHT "Copyright (C) 2026 Tolvane developers")
set(TOLVANE_ICON ${CMAKE_SOURCE_DIR}/packaging/windows/tolvane.ico)
enable_language(RC)

function(tolvane_windows_resources target description description_en)
  set(TOLVANE_PROGRAM ${target})
  set(TOLVANE_DESCRIPTION "${description}")
  set(TOLVANE_DESCRIPTION_EN "${description_en}")
  set(dir ${CMAKE_BINARY_DIR}/resources/${target})
  set(TOLVANE_MANIFEST ${dir}/${target}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/tolvane.manifest.in ${TOLVANE_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/tolvane.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
  # The resource compiler does not see that the icon or the manifest changed.
  set_source_files_properties(${dir}/${target}.rc PROPERTIES OBJECT_DEPENDS "${TOLVANE_ICON};${TOLVANE_MANIFEST}")
endfunction()

# The resource compiler takes no UTF-8: the Japanese descriptions go in as escapes,
# 「Tolvane 区切りテキスト変換」 and 「Tolvane 区切りテキスト変換 (コマンドライン)」.
tolvane_windows_resources(tolvane "Tolvane \\x533a\\x5207\\x308a\\x30c6\\x30ad\\x30b9\\x30c8\\x5909\\x63db" "Tolvane, delimited text converter")
tolvane_windows_resources(tolvane-cli "Tolvane \\x533a\\x5207\\x308a\\x30c6\\x30ad\\x30b9\\x30c8\\x5909\\x63db (\\x30b3\\x30de\\x30f3\\x30c9\\x30e9\\x30a4\\x30f3)" "Tolvane, delimited text converter (command line)")
