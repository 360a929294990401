# dravelo_platform_sources(VAR): drops from the source list in VAR the files of the other
# platform. A file named *_win32.cpp belongs to the Windows build only; *_linux.cpp and
# *_posix.cpp to the Linux (and other POSIX) build only; everything else to both.
function(dravelo_platform_sources var)
  set(kept "")
  foreach(source IN LISTS ${var})
    get_filename_component(name ${source} NAME_WE)
    if(WIN32)
      if(name MATCHES "_(linux|posix)$")
        continue()
      endif()
    elseif(name MATCHES "_win32$")
      continue()
    endif()
    list(APPEND kept ${source})
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()
