#!/usr/bin/env bash
# Pictures of the main window with two projects loaded, one per page, of the Schedule page with
# its dialogs, of the settings and project dialogs page by page, of the Restore page with an
# archive loaded, the Differential-Restore page with two sets, the progress window, every page of
# the wizard, the search dialog with results and the special-folder dialog, taken on a virtual
# display (Xvfb) into build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=build/screenshots-build
out="$PWD/build/screenshots"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)" --target main_frm_test schedule_page_test \
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
