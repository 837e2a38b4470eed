# Run by CPack after it staged the files: folders 0755 whatever the
# builder's umask, so every user can reach what is installed.
foreach(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" "${CPACK_TEMPORARY_DIRECTORY}")
  if(root AND IS_DIRECTORY "${root}")
    file(GLOB_RECURSE entries LIST_DIRECTORIES true "${root}/*")
    foreach(entry ${entries})
      if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
        file(CHMOD "${entry}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
             GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
      endif()
    endforeach()
  endif()
endforeach()
