# SQLite compiled into the program from its amalgamation (sqlite3.c and sqlite3.h in the
# folder HALVARO_SQLITE_AMALGAMATION), for platforms where the system has no SQLite to
# link: the Windows build (scripts/build-windows.sh makes the folder from Debian's source
# of the version the Linux build links). It stands in for find_package(SQLite3)'s target.
enable_language(C)
foreach(file sqlite3.c sqlite3.h)
  if(NOT EXISTS ${HALVARO_SQLITE_AMALGAMATION}/${file})
    message(FATAL_ERROR "HALVARO_SQLITE_AMALGAMATION=${HALVARO_SQLITE_AMALGAMATION} has no ${file}")
  endif()
endforeach()
add_library(halvaro_sqlite3 STATIC ${HALVARO_SQLITE_AMALGAMATION}/sqlite3.c)
# Someone else's code: compiled without this project's warnings and -Werror.
set_property(TARGET halvaro_sqlite3 PROPERTY COMPILE_OPTIONS "")
target_include_directories(halvaro_sqlite3 SYSTEM PUBLIC ${HALVARO_SQLITE_AMALGAMATION})
# The options of Debian's libsqlite3 that change what a query answers or how far it may
# go, so that both builds agree: the parameter limit sets the size of the batches the
# query layer binds.
target_compile_definitions(halvaro_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_DEFAULT_RECURSIVE_TRIGGERS=1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_SECURE_DELETE
  SQLITE_SOUNDEX
  SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_ENABLE_COLUMN_METADATA
  SQLITE_OMIT_LOOKASIDE
  SQLITE_USE_URI=1)
find_package(Threads REQUIRED)
target_link_libraries(halvaro_sqlite3 PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
add_library(SQLite::SQLite3 ALIAS halvaro_sqlite3)
