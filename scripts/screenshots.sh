#!/usr/bin/env bash
# Pictures of the main window with two projects loaded, one per page, of the Schedule page with
# schedules listed and its dialogs, of the settings and project dialogs page by page, of the
# Restore page with a backup set loaded, the Differential-Restore page with two sets, the
# progress window, every page of the wizard, the search dialog after a search, the
# special-folder dialog and the extension chooser, taken on a virtual display (Xvfb) into
# build/screenshots/. Each window is shown at its default size, and the tests that take the
# pictures check that every list column shows its caption and its rows whole.
# QUORVA_SCREENSHOT_BUILD names a build folder to use instead of a build of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${QUORVA_SCREENSHOT_BUILD:-build/screenshots-build}
out="$PWD/build/screenshots"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(( $(nproc) < 4 ? $(nproc) : 4 ))" --target main_frm_test schedule_page_test \
  window_pictures_test wizard_frm_test search_frm_test special_folder_frm_test
rm -rf "$out"
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x900x24" \
  env QT_QPA_PLATFORM=xcb QUORVA_SCREENSHOT_DIR="$out" \
  "$build/tests/main_frm_test" --gtest_filter=MainFrmTest.Screenshots
xvfb-run -a -s "-screen 0 1280x900x24" \
  env QT_QPA_PLATFORM=xcb QUORVA_SCREENSHOT_DIR="$out" QUORVA_BUILD_DIR="$PWD/$build" \
  "$build/tests/schedule_page_test" --gtest_filter=SchedulePageTest.Screenshots
xvfb-run -a -s "-screen 0 1280x900x24" \
  env QT_QPA_PLATFORM=xcb QUORVA_SCREENSHOT_DIR="$out" QUORVA_BUILD_DIR="$PWD/$build" \
  "$build/tests/window_pictures_test"
for shot in WizardFrmTest.Screenshots:wizard_frm_test SearchFrmTest.Screenshot:search_frm_test \
  SpecialFolderFrmTest.Screenshot:special_folder_frm_test; do
  xvfb-run -a -s "-screen 0 1280x900x24" \
    env QT_QPA_PLATFORM=xcb QUORVA_SCREENSHOT_DIR="$out" QUORVA_BUILD_DIR="$PWD/$build" \
    "$build/tests/${shot#*:}" --gtest_filter="${shot%%:*}"
done
ls -1 "$out"
