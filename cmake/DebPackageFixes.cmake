# CPack post-build script: puts right what CPack's Debian generator gets wrong, by unpacking
# each package, correcting it and building it again with dpkg-deb:
# - Installed-Size: CPack adds up file sizes following symbolic links, so every edition link
#   counted as a whole copy of the program. Counted here as dpkg does: regular files in KiB
#   rounded up, one KiB for every directory, link or other entry.
# - the debug-symbol package: its md5sums name the build machine's staging folder, its
#   .debug files are marked executable, and it has no documentation folder; as Debian's own
#   debug packages do, it gets a link to the program's (copyright and changelog), which its
#   exact-version dependency on the program guarantees.
find_program(_dpkg_deb dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.d?deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/deb-fix-tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${_dpkg_deb} --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/control control)

  if(control MATCHES "\nPackage-Type: ddeb\n" AND control MATCHES "(^|\n)Package: ([^\n]+)-dbgsym\n")
    set(program ${CMAKE_MATCH_2})
    file(GLOB_RECURSE debug_files ${tree}/usr/lib/debug/*.debug)
    foreach(f IN LISTS debug_files)
      file(CHMOD ${f} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endforeach()
    file(MAKE_DIRECTORY ${tree}/usr/share/doc)
    file(CREATE_LINK ${program} ${tree}/usr/share/doc/${program}-dbgsym SYMBOLIC)
  endif()

  set(kib 1) # the "./" entry
  set(md5sums "")
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${tree} ${tree}/*)
  list(SORT entries)
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^DEBIAN(/|$)")
      continue()
    endif()
    if(IS_SYMLINK ${tree}/${entry} OR IS_DIRECTORY ${tree}/${entry})
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE ${tree}/${entry} bytes)
      math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
      file(MD5 ${tree}/${entry} sum)
      string(APPEND md5sums "${sum}  ${entry}\n")
    endif()
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")

  if(NOT control MATCHES "\nInstalled-Size: [0-9]+\n")
    message(FATAL_ERROR "${package}: no Installed-Size field")
  endif()
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
  file(WRITE ${tree}/DEBIAN/control "${control}")
  execute_process(COMMAND ${_dpkg_deb} --root-owner-group -Zgzip --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
