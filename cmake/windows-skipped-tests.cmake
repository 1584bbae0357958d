# The tests left out of the Windows run: they check what Windows does not have (permission bits
# beyond read-only, symbolic links as Linux makes them, fork and file size limits, a POSIX shell)
# or the Linux registry files and locale environment. CTest reads the list from the build folder.
if(WIN32)
  set(QUILLMAP_WINDOWS_SKIPPED_TESTS
    AtomicFileTest.EveryFailingCallLeavesTheOldOrTheNewFile
    DecimalSpecifierTest.ReadsTheEnvironmentWithoutChangingTheProcessLocale
    IniFileReadOnlyTest.OnlyTheModesWriteBitsCount
    ProfileFileTest.LockIsOneForEverySpellingOfThePathAndNamesItsHolder
    RegistryEnvironmentTest.FolderVariableOrDefaultLocations
    SystemFileTest.ToolExitsWithOneForBadInputAndTwoForBadUse
  )
  file(WRITE ${CMAKE_BINARY_DIR}/CTestCustom.cmake
       "set(CTEST_CUSTOM_TESTS_IGNORE ${QUILLMAP_WINDOWS_SKIPPED_TESTS})\n")
endif()
