# Run by `cmake --install` and by cpack: installs one text file compressed
# with gzip, as Debian wants man pages and changelogs. Given:
#   compressed_source       the file
#   compressed_destination  the folder, relative to the prefix or absolute
#   compressed_name         the installed name, ".gz" included
#   compressed_doc_dir      the documentation folder, relative or absolute;
#                           the file's mentions of /usr/share/doc/qorvantel
#                           then name it where this installation puts it
#   gzip_program            gzip
#   compressed_staging      a folder for the file while it is compressed
# The prefix is the one of this installation (cmake --install --prefix),
# which is why this runs at install time rather than at build time.
function(prefixed out path)
  if(IS_ABSOLUTE "${path}")
    set(${out} "${path}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${path}" PARENT_SCOPE)
  endif()
endfunction()

file(READ "${compressed_source}" contents)
if(DEFINED compressed_doc_dir)
  prefixed(doc_dir "${compressed_doc_dir}")
  string(REPLACE "/usr/share/doc/qorvantel" "${doc_dir}" contents "${contents}")
endif()
# A name of its own, as installations may run side by side (ctest -j).
string(RANDOM LENGTH 16 unique)
set(staged "${compressed_staging}/compressed-${unique}")
file(WRITE "${staged}" "${contents}")
# -n: no name or time stamp in the header, so the file is the same in every build.
execute_process(COMMAND "${gzip_program}" -9n INPUT_FILE "${staged}" OUTPUT_FILE "${staged}.gz"
                RESULT_VARIABLE status)
file(REMOVE "${staged}")
if(NOT status EQUAL 0)
  file(REMOVE "${staged}.gz")
  message(FATAL_ERROR "gzip failed on ${compressed_source}: ${status}")
endif()
prefixed(destination "${compressed_destination}")
file(INSTALL DESTINATION "${destination}" TYPE FILE RENAME "${compressed_name}" FILES "${staged}.gz")
file(REMOVE "${staged}.gz")
