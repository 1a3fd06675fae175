# cmake -DHALVARO=<program> [-DHOST_ROOT=Z:] -DSCHEMA=<example script> [-DROWS=<script of INSERTs>] -DOUT=<file.mdb> -P make_database.cmake
#
# Builds a test database with the program's own `create`: the tables, keys and views of
# an example script, and either that script's own rows or, when ROWS is given, those
# rows instead.
file(READ "${SCHEMA}" script)
if(DEFINED ROWS)
  # The example scripts hold each statement of rows on one line of its own.
  string(REGEX REPLACE "\nINSERT INTO [^\n]*" "" script "${script}")
  file(READ "${ROWS}" rows)
  string(APPEND script "\n${rows}")
endif()
file(WRITE "${OUT}.sql" "${script}")
file(REMOVE "${OUT}")
# HALVARO may be a list: an emulator, then the program; HOST_ROOT is how the program
# sees the build's folders (Z: under Wine).
execute_process(COMMAND ${HALVARO} create "${HOST_ROOT}${OUT}" "${HOST_ROOT}${OUT}.sql" RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "halvaro create could not build ${OUT} from ${OUT}.sql")
endif()
