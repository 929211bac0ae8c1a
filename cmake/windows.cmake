# Windows build: Quillo.dll, and the tests that run under Wine.
enable_language(RC)

# A shipped tree (build/, build/x64) is built with the win32 thread model: it makes the DLL, its
# import check and, in the 64-bit tree, QuilloSetup.exe; on request (not with the rest) the
# stand-in host QuilloHost, which scripts/quillo.sh runs. GoogleTest and the benchmarks need
# std::mutex and std::thread, so they live in the test trees (build/win32, build/win64).
option(QUILLO_SHIP "Build the shipped DLL (and setup program) only" OFF)
if(QUILLO_SHIP)
  set(QUILLO_TESTS OFF)
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

# A bare Windows has no MinGW runtime: link libgcc and libstdc++ into every binary. (Zig's
# clang, the ARM64 compiler, links its libc++ and runtime statically without being asked.)
target_link_options(quillo_flags INTERFACE
  $<$<CXX_COMPILER_ID:GNU>:-static -static-libgcc -static-libstdc++>)
# Explorer loads the library into every folder window's process: keep it small. Nothing in it
# is hot enough to want more than -Os, and unreferenced runtime pieces are dropped at link.
target_compile_options(quillo_flags INTERFACE
  $<$<CONFIG:Release>:-Os -ffunction-sections -fdata-sections>)
# The note rules walk texts of any size byte by byte: they are the one place worth -O2.
set_source_files_properties(${CMAKE_SOURCE_DIR}/note/uNoteRules.cpp PROPERTIES
  COMPILE_OPTIONS $<$<CONFIG:Release>:-O2>)
# What ships is optimised as one program at link (-flto), which drops and merges what the
# per-file build cannot see is unused or the same: about 11 KiB off each DLL. Each function
# keeps the level it was compiled with (-Os, the rules -O2); one partition merges a little
# more. The test trees stay without: their many programs would each pay the link.
if(QUILLO_SHIP)
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  set_property(TARGET quillo_rules PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  # The linker reports every function of default visibility to the link-time optimiser as one
  # the DLL might export, so it keeps an out-of-line copy of each it has inlined everywhere:
  # the libraries hidden, x86 loses another 7 KiB, x64 5 KiB. But the optimiser is not told
  # what Quillo.def exports either, and drops a hidden export without a word (its entry then
  # points nowhere): the exports stay in the DLL's own Quillo.cpp, which keeps the default,
  # and dll_exports below checks every entry.
  target_compile_options(quillo_rules PRIVATE -fvisibility=hidden)
endif()

# The PE machine type of what this tree builds, as the checks below read it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL ARM64)
  set(QUILLO_MACHINE aa64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUILLO_MACHINE 8664)
else()
  set(QUILLO_MACHINE 014c)
endif()

set(QUILLO_SYSTEM_LIBS ole32 oleaut32 uuid shell32 user32 gdi32 advapi32 comctl32 imm32)

# Everything but the entry, so that the Wine tests can link the same code the DLL runs.
file(GLOB QUILLO_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/common/*.cpp
  ${CMAKE_SOURCE_DIR}/server/*.cpp
  ${CMAKE_SOURCE_DIR}/ui/*.cpp
  ${CMAKE_SOURCE_DIR}/note/*.cpp
  ${CMAKE_SOURCE_DIR}/resources/*.cpp
  ${CMAKE_SOURCE_DIR}/u*.cpp)
list(REMOVE_ITEM QUILLO_CORE_SOURCES
  ${CMAKE_SOURCE_DIR}/note/uNoteRules.cpp ${CMAKE_SOURCE_DIR}/note/uNoteNotice.cpp
  ${CMAKE_SOURCE_DIR}/note/uDraftFormat.cpp)
# The Windows 11 command and its note process are 64-bit only (there is no 32-bit Windows 11).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(REMOVE_ITEM QUILLO_CORE_SOURCES
    ${CMAKE_SOURCE_DIR}/uExplorerCommand.cpp ${CMAKE_SOURCE_DIR}/note/uNoteProcess.cpp)
endif()
add_library(quillo_core STATIC ${QUILLO_CORE_SOURCES})
if(QUILLO_SHIP)
  target_compile_options(quillo_core PRIVATE -fvisibility=hidden)  # see the -flto note above
endif()
target_link_libraries(quillo_core PUBLIC quillo_rules quillo_flags ${QUILLO_SYSTEM_LIBS})
target_include_directories(quillo_core PUBLIC ${CMAKE_BINARY_DIR}/generated)
# The test trees shorten the UI thread's grace period after its last note (30 s as shipped),
# so that the tests that wait for the thread and the library to go wait a second, not 30.
if(NOT QUILLO_SHIP)
  target_compile_definitions(quillo_core PUBLIC QUILLO_NOTE_GRACE_MS=1000)
  # Where a test steps into the moment it checks (note/uTestHooks.h, and Wine's fixed answers
  # about high contrast and screen readers: ui/uTheme.h, ui/uAccessible.h); only the files
  # that have such a moment are built with it.
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/note/uNoteThread.cpp ${CMAKE_SOURCE_DIR}/note/uSaveNote.cpp
               ${CMAKE_SOURCE_DIR}/note/uDraftOwner.cpp
               ${CMAKE_SOURCE_DIR}/ui/uTheme.cpp ${CMAKE_SOURCE_DIR}/ui/uAccessible.cpp
               APPEND PROPERTY COMPILE_DEFINITIONS QUILLO_TEST_HOOKS)
endif()

# The test trees may stand in for the system's package lookup (uPackagedMenu.h).
if(NOT QUILLO_SHIP)
  target_compile_definitions(quillo_core PUBLIC QUILLO_PACKAGE_LOOKUP_HOOK)
endif()

include(cmake/typelib.cmake OPTIONAL)

add_library(Quillo SHARED Quillo.cpp QuilloRuntime.cpp Quillo.def resources/Quillo.rc)
set_target_properties(Quillo PROPERTIES PREFIX "" OUTPUT_NAME Quillo)
target_link_libraries(Quillo PRIVATE quillo_core)
target_link_options(Quillo PRIVATE $<$<CONFIG:Release>:-s -Wl,--gc-sections>)
if(QUILLO_SHIP)
  target_link_options(Quillo PRIVATE $<$<CXX_COMPILER_ID:GNU>:-flto-partition=one>)
endif()
# Zig's clang optimises at link (and builds the runtime it links in) at the link line's level:
# the release's -O3 unless told -Os, as the library's own code is.
target_link_options(Quillo PRIVATE $<$<AND:$<CONFIG:Release>,$<CXX_COMPILER_ID:Clang>>:-Os>)
# Quillo.def names the exports plainly; on i686 they are stdcall (DllGetClassObject@12).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(Quillo PRIVATE -Wl,--enable-stdcall-fixup)
endif()
target_include_directories(Quillo PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/generated)
if(TARGET quillo_typelib)
  add_dependencies(Quillo quillo_typelib)
endif()

# QuilloNote.exe, the note process of the Windows 11 command, beside the 64-bit Quillo.dll. No
# C runtime and no startup code: it only loads Quillo.dll and calls it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(QuilloNote WIN32 QuilloNote.cpp resources/QuilloNote.rc)
  # ARM64 Windows takes a function without unwind data for a leaf: keep them there.
  target_compile_options(QuilloNote PRIVATE -Wall -Wextra -Werror -Os -ffreestanding
                         -fno-stack-protector -fno-exceptions
                         $<$<NOT:$<STREQUAL:${CMAKE_SYSTEM_PROCESSOR},ARM64>>:-fno-asynchronous-unwind-tables>)
  target_link_options(QuilloNote PRIVATE -nostdlib -nostartfiles -Wl,-e,QuilloNoteEntry
                      $<$<CONFIG:Release>:-s>
                      # Zig takes the subsystem only from the linker (it ignores -mwindows).
                      $<$<CXX_COMPILER_ID:Clang>:-Wl,--subsystem,windows>)
  target_link_libraries(QuilloNote PRIVATE kernel32)
  add_dependencies(QuilloNote Quillo)
  enable_testing()
  add_test(NAME note_exe_imports
           COMMAND ${CMAKE_SOURCE_DIR}/tests/check-dll.sh ${QUILLO_OBJDUMP} $<TARGET_FILE:QuilloNote>
                   --exe --machine=${QUILLO_MACHINE})
endif()

# The file manager's side of the shell contract (shellclient/), for QuilloHost, the tests, the
# smoke program and the benchmarks: plain Win32 threads, so that every tree can build it.
file(GLOB QUILLO_SHELLCLIENT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/shellclient/*.cpp)
add_library(quillo_shellclient STATIC ${QUILLO_SHELLCLIENT_SOURCES})
target_link_libraries(quillo_shellclient PUBLIC quillo_flags ole32 uuid shell32 user32 advapi32)

if(QUILLO_TESTS)
  enable_testing()
  # Each Windows test program runs under Wine in this tree's private prefix.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/tests/windows/wine-run.sh ${QUILLO_WINE} ${CMAKE_BINARY_DIR}/wineprefix)

  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  file(GLOB QUILLO_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/support/*.cpp)
  add_library(quillo_testsupport STATIC ${QUILLO_TEST_SUPPORT})
  target_link_libraries(quillo_testsupport PUBLIC quillo_core quillo_shellclient gtest gmock version
                        oleacc)
  target_include_directories(quillo_testsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests/windows)

  # One program per test file, so that each area of Quillo starts in a fresh process.
  file(GLOB QUILLO_WINDOWS_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/test_*.cpp)
  list(REMOVE_ITEM QUILLO_WINDOWS_TESTS ${CMAKE_SOURCE_DIR}/tests/windows/test_setup.cpp)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(REMOVE_ITEM QUILLO_WINDOWS_TESTS ${CMAKE_SOURCE_DIR}/tests/windows/test_explorer_command.cpp)
  endif()
  foreach(src ${QUILLO_WINDOWS_TESTS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE quillo_testsupport gtest_main)
    add_dependencies(${name} Quillo)
    if(TARGET QuilloNote)
      add_dependencies(${name} QuilloNote)
    endif()
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endforeach()
  # The longest programs that drive the shell's side run in a copy of the prefix of their own,
  # beside the others (cmake/winelanes.cmake); the rest share the tree's prefix.
  foreach(name test_e2e test_context_menu test_explorer_command)
    if(TARGET ${name})
      set_tests_properties(${name} PROPERTIES ENVIRONMENT QUILLO_LANE=shell)
    endif()
  endforeach()
  # The programs whose files and names depend on the system's code page run again under the
  # two other kinds Wine can give: 1252 (a Western one, without Korean) and 65001 (UTF-8).
  # Each Wine process takes its code page from its own locale, so one prefix serves both.
  set(QUILLO_CODE_PAGE_TESTS test_e2e test_note_window test_save_note)
  foreach(name ${QUILLO_CODE_PAGE_TESTS})
    if(NOT TARGET ${name})
      message(FATAL_ERROR "${name} is no test program")
    endif()
    foreach(page_locale 1252=en_US.UTF-8 65001=hi_IN.UTF-8)
      string(REPLACE "=" ";" page_locale ${page_locale})
      list(GET page_locale 0 page)
      list(GET page_locale 1 locale)
      add_test(NAME ${name}.cp${page} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
      # In a copy of the prefix for each code page (cmake/winelanes.cmake), beside the others.
      set_tests_properties(${name}.cp${page} PROPERTIES TIMEOUT 300
                           ENVIRONMENT "QUILLO_LOCALE=${locale};QUILLO_LANE=cp${page}")
    endforeach()
  endforeach()

  # The windows again on a display at 150 % (144 dpi), in a copy of the prefix set so.
  foreach(name test_note_window test_about)
    add_test(NAME ${name}.dpi144 COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name}.dpi144 PROPERTIES TIMEOUT 300 ENVIRONMENT QUILLO_DPI=144)
  endforeach()

  # A host whose desktop cannot make windows: the row of the COM tests that needs one, in a copy
  # of the prefix run without a display.
  add_test(NAME test_com_dll.nodisplay
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/fresh-prefix-run.sh ${QUILLO_WINE}
                   ${CMAKE_BINARY_DIR}/wineprefix ${CMAKE_BINARY_DIR}/nodisplay-prefix
                   $<TARGET_FILE:test_com_dll>
                   --gtest_filter=ComDllTest.ANoteThatCannotBeShownFailsTheCommandCleanly
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  # It copies the tree's prefix, so nothing may run there meanwhile.
  set_tests_properties(test_com_dll.nodisplay PROPERTIES TIMEOUT 300
                       ENVIRONMENT "QUILLO_NO_DISPLAY=1;QUILLO_PREFIX=${CMAKE_BINARY_DIR}/nodisplay-prefix"
                       RESOURCE_LOCK ${CMAKE_BINARY_DIR}/wineprefix)

  include(cmake/bench.cmake)
  include(cmake/winelanes.cmake)

  # Some checks read the shipped binaries of the shipped trees under QUILLO_SHIPPED_DIR (both
  # test presets name build/): the version information of both DLLs, the load and unload
  # cycles of the DLL as shipped, and (from the 64-bit tree, for the 64-bit setup program)
  # QuilloSetup.exe, installed in a prefix made afresh.
  if(QUILLO_SHIPPED_DIR)
    target_compile_definitions(quillo_testsupport PUBLIC QUILLO_SHIPPED_DIR="${QUILLO_SHIPPED_DIR}")
  endif()
  if(QUILLO_SHIPPED_DIR AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_executable(test_setup ${CMAKE_SOURCE_DIR}/tests/windows/test_setup.cpp)
    target_link_libraries(test_setup PRIVATE quillo_testsupport gtest_main)
    add_dependencies(test_setup QuilloHost standin_powershell)
    # What the setup program runs as PowerShell in the test prefix.
    add_executable(standin_powershell ${CMAKE_SOURCE_DIR}/tests/windows/standin_powershell.cpp)
    target_link_libraries(standin_powershell PRIVATE quillo_flags)
    set_target_properties(standin_powershell PROPERTIES OUTPUT_NAME powershell
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/standin)
    # A fresh prefix for every run, copied from a pristine one that no program of Quillo's ever
    # ran in (making a prefix from nothing takes minutes on a busy machine).
    foreach(part setup setup_x86)
      if(part STREQUAL setup)
        set(filter -Setup.X86*)
      else()
        set(filter Setup.X86*)
      endif()
      add_test(NAME test_${part}
               COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/fresh-prefix-run.sh ${QUILLO_WINE}
                       ${CMAKE_BINARY_DIR}/setup-prefix-pristine ${CMAKE_BINARY_DIR}/${part}-prefix
                       $<TARGET_FILE:test_setup> --gtest_filter=${filter}
               WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
      set_tests_properties(test_${part} PROPERTIES TIMEOUT 900
                           ENVIRONMENT QUILLO_PREFIX=${CMAKE_BINARY_DIR}/${part}-prefix)
    endforeach()
    # Where 32-bit programs cannot run, the 32-bit registration is reported as skipped.
    set_tests_properties(test_setup_x86 PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
  endif()
endif()

include(cmake/tools.cmake)

# The DLL must load on a bare Windows of its kind: its machine type, system DLLs only, plain
# export names, exactly those of Quillo.def.
enable_testing()
add_test(NAME dll_imports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/check-dll.sh ${QUILLO_OBJDUMP} $<TARGET_FILE:Quillo>
                 $<$<BOOL:${QUILLO_SHIP}>:--shipped> --machine=${QUILLO_MACHINE})
# ...and every one of its exports must lead into its code (see the -flto note above).
add_test(NAME dll_exports
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${QUILLO_OBJDUMP} -DDLL=$<TARGET_FILE:Quillo>
                 -P ${CMAKE_SOURCE_DIR}/cmake/check-exports.cmake)

if(QUILLO_SHIP)
  include(cmake/signing.cmake)
endif()
if(QUILLO_SHIP AND QUILLO_X86_DLL)
  include(cmake/setup.cmake)
elseif(QUILLO_SHIP AND CMAKE_SYSTEM_PROCESSOR STREQUAL ARM64)
  include(cmake/msix.cmake)
endif()
