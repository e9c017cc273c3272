# Packages, made with CPack:
#   Linux:   Debian packages (cpack -G DEB): tavoren, for players, from the
#            `game` component: /usr/games/tavoren with its desktop entry,
#            icons, AppStream entry, manual page, copyright and changelog;
#            and tavoren-headless, the scripted driver for tests and
#            analysts, from the `headless` component. Configure with
#            -DTAVOREN_INSTALL_GAMEDIR=games -DCMAKE_INSTALL_PREFIX=/usr
#            (the `package` preset does).
#   Windows: a 64-bit NSIS installer and a portable zip of the same files,
#            the game alone (cpack -G "NSIS;ZIP" in the cross build).
# scripts/package builds them all into dist/.

set(CPACK_PACKAGE_NAME tavoren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavoren developers")
set(CPACK_PACKAGE_CONTACT "Tavoren maintainers <maintainers@users.noreply.c-seed-9c3b8e3e.example>")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The file names per generator are set in packaging/cpack-options.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-options.cmake)

if(WIN32)
  set(CPACK_GENERATOR NSIS ZIP)
  # cpack here builds nothing itself (the test programs would otherwise be
  # built first): scripts/package builds tavoren.exe and then packs it.
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "nine-ball pool practice for one player")
  # Both packages take everything installed (the driver is installed only
  # on request here): no choice of components in the installer, and the zip
  # holds one folder.
  set(CPACK_MONOLITHIC_INSTALL ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Tavoren)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tavoren)
  # A 64-bit installer that installs into the 64-bit Program Files and
  # writes its uninstall entry into the 64-bit registry. (CPack's default is a
  # 32-bit installer, which a 64-bit-only Wine runs without installing
  # anything, and still reports success.) CPack replaces these defines with
  # its own in a component install: one more reason for the monolithic one.
  #
  # The installer's version block (what Explorer's properties show), like
  # tavoren.exe's: product タヴォレン and the version, in Japanese (0x0411).
  #
  # No file times in the installer (NSIS would store each file's, also of the
  # files CPack writes just before): the same sources give the same bytes.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode
  SetDateSave off
  VIProductVersion ${PROJECT_VERSION}.0
  VIFileVersion ${PROJECT_VERSION}.0
  VIAddVersionKey /LANG=1041 ProductName 'タヴォレン'
  VIAddVersionKey /LANG=1041 ProductVersion '${PROJECT_VERSION}'
  VIAddVersionKey /LANG=1041 FileVersion '${PROJECT_VERSION}'
  VIAddVersionKey /LANG=1041 FileDescription 'タヴォレン セットアップ'
  VIAddVersionKey /LANG=1041 CompanyName '${CPACK_PACKAGE_VENDOR}'
  VIAddVersionKey /LANG=1041 LegalCopyright 'Copyright (c) 2026 The Tavoren developers. MIT License.'")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  # The game's name is タヴォレン in every language: the installer, the
  # Start-menu folder, the shortcuts and the list of installed programs.
  set(CPACK_NSIS_PACKAGE_NAME "タヴォレン")
  set(CPACK_NSIS_DISPLAY_NAME "タヴォレン")
  # The Start-menu shortcuts: the game, with the program's own icon, and the
  # uninstaller, named in the language the installer runs in ($LANGUAGE
  # 1041 is Japanese). CPack's own "Uninstall" shortcut is removed again.
  set(CPACK_NSIS_CREATE_ICONS_EXTRA
      "  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\タヴォレン.lnk' '$INSTDIR\\\\tavoren.exe' '' '$INSTDIR\\\\tavoren.exe' 0
  StrCmp $LANGUAGE 1041 0 +3
    CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\タヴォレンのアンインストール.lnk' '$INSTDIR\\\\Uninstall.exe'
    Goto +2
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Uninstall タヴォレン.lnk' '$INSTDIR\\\\Uninstall.exe'")
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "  Delete '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Uninstall.lnk'")
  # The uninstaller removes the shortcuts (the uninstall one in either
  # language: the display language may have changed since), and also the
  # vendor's registry key that holds the install key, which it would
  # otherwise leave empty (this runs after the install key is deleted).
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\タヴォレン.lnk'
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\タヴォレンのアンインストール.lnk'
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Uninstall タヴォレン.lnk'
  DeleteRegKey /ifempty SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}'")
  # The licence page shows LICENSE.txt, the file installed beside the game
  # (see platform/win32/CMakeLists.txt).
  set(CPACK_RESOURCE_FILE_LICENSE ${TAVOREN_WINDOWS_LICENSE})
  set(CPACK_NSIS_INSTALLED_ICON_NAME tavoren.exe)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/data/tavoren.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/data/tavoren.ico)
else()
  set(CPACK_GENERATOR DEB)
  # Two packages: tavoren for players, tavoren-headless for tests and
  # analysts.
  set(CPACK_COMPONENTS_ALL game headless)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_GAME_PACKAGE_NAME tavoren)
  set(CPACK_DEBIAN_GAME_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_HEADLESS_PACKAGE_NAME tavoren-headless)
  set(CPACK_DEBIAN_HEADLESS_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_HEADLESS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # A cross build for arm64 (preset arm64-package) packages for arm64, not
  # for this machine's architecture; dpkg-shlibdeps finds its dependencies
  # among the arm64 libraries of Debian's multiarch.
  if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  endif()
  # The panel's messages are Japanese: it needs a font that has them.
  set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-japanese-gothic")
  # Each package's description: the summary line, then the long text.
  set(CPACK_DEBIAN_GAME_DESCRIPTION
      "nine-ball pool practice for one player
Tavoren (タヴォレン) is a pool table for practising nine-ball on your own.
The direction of the cue, the point of the cue ball the tip strikes and the
strength are set with the mouse; Enter fires the shot, and the ten balls
slide, roll, take spin off the cushions and drop into the six pockets.
Every shot is judged by the rules of the practice game. Backspace steps back
to the start of the last shot, even while the balls roll, and Enter replays
the recorded shots; a finished game replays itself from the break.
The messages of the game are in Japanese.")
  set(CPACK_DEBIAN_HEADLESS_DESCRIPTION
      "Tavoren pool game played from a script, without a window
tavoren-headless runs the very same game as tavoren on a virtual clock,
driven by a timeline of input read from a script (keys, presses and drags of
the mouse, waits), and prints the exact state of the game when the script
asks for it, every number in C's %a form, and pictures of the window as PNG
files. The same script always prints the same bytes. It is a tool for tests
and for analysing shots; players want the package tavoren.")
endif()

include(CPack)
