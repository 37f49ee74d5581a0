#!/usr/bin/env bash
# Drives binconv.exe under Wine in a virtual X display, as a person would: the
# keyboard through xdotool and the clipboard through xclip.
#   1. Japanese pasted into Text3, コード変換, Tab into Text2 and the listing
#      read back through the clipboard: it must equal binconv-cli's;
#   2. バイナリ出力 writes temp.bin, which must hold the listing's bytes;
#   3. an odd listing: Text2 shows the writer's message, Ctrl+Z brings the
#      listing back, and no file is written;
#   4. a missing folder in Text1: an error dialog, the boxes as they were;
# and first win32_form_test.exe, which needs the display too.
# Usage: tools/win32-window-test.sh [ROUNDS] [SCREENSHOT.png]
# Needs the windows preset built (binconv.exe and binconv-cli.exe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-1}
shot=${2:-}
build=$root/build/windows
exe=$build/src/window/win32/binconv.exe
cli=$build/src/cli/binconv-cli.exe
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export BINCONV_WINE_DISPLAY=1

work=$(mktemp -d)
display_number=$((50 + RANDOM % 40))
export DISPLAY=:$display_number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$root/tables/Zezovar.ini" "$root/tables/Zezovar_ex.ini" "$work/"
sleep 1
# Wine's dialog font has no Japanese; link the IPA Gothic font behind it, as
# Windows links its Japanese fonts behind its UI fonts.
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  "$root/tools/wine-run.sh" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f >/dev/null 2>&1 || true
done

fail() { echo "FAIL: $*" >&2; exit 1; }

# The window's geometry and tooltip against the layout table, which needs the
# display that ctest's run under Wine lacks.
"$root/tools/wine-run.sh" "$build/tests/win32_form_test.exe" --gtest_brief=1 ||
  fail "win32_form_test"
key() { xdotool key --delay 60 "$@"; sleep 0.4; }
paste_text() { printf '%s' "$1" | xclip -selection clipboard -i; sleep 0.2; key ctrl+v; }
copy_text() {
  printf '' | xclip -selection clipboard -i
  key ctrl+c
  # Wine hands the text over with its terminating NUL and a stray byte after
  # it; the text ends at the NUL.
  timeout 10 xclip -selection clipboard -o 2>/dev/null | tr -d '\r' | cut -d '' -f1 || true
}
wait_window() {  # NAME -> window id
  for _ in $(seq 1 100); do
    if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

input=$'日本語のテキスト\r\nあいう　ABC'
expected=$(cd "$work" && printf '%s' "$input" | "$root/tools/wine-run.sh" "$cli" convert | tr -d '\r')

for round in $(seq 1 "$rounds"); do
  rm -f "$work/temp.bin"
  (cd "$work" && exec "$root/tools/wine-run.sh" "$exe") &
  app_pid=$!
  form=$(wait_window 'バイナリ変換ツール') || fail "the window did not appear"
  # No window manager runs in Xvfb: give the window the focus directly.
  for _ in $(seq 1 20); do xdotool windowfocus --sync "$form" 2>/dev/null && break; sleep 0.3; done
  sleep 1
  # Focus starts in Text1; the tab order is Text1, Text2, Command3, Text3, Command1.
  key Tab Tab Tab
  paste_text "$input"
  key Tab Return                      # Command1: コード変換
  key Tab Tab                         # Text1, then Text2, which selects all
  listing=$(copy_text)
  [ "$listing" = "$expected" ] || fail "round $round: listing differs: $(printf %s "$listing" | od -c | tail -3) vs $(printf %s "$expected" | od -c | tail -3)
$listing
expected:
$expected"

  key Tab Return                      # Command3: バイナリ出力
  sleep 1
  want=$(printf '%s' "$expected" | tr -d ' \n')
  got=$(od -An -v -tx1 "$work/temp.bin" | tr -d ' \n' | tr a-f A-F)
  [ "$got" = "$want" ] || fail "round $round: temp.bin holds $got, expected $want"

  # An odd listing: the message replaces it, Ctrl+Z brings it back.
  key shift+Tab                       # back to Text2, all selected
  paste_text "1A 2"
  rm -f "$work/temp.bin"
  key Tab Return
  key shift+Tab
  message=$(copy_text)
  [ "$message" = "入力された文字コードが正しくありません" ] || fail "round $round: message '$message'"
  [ ! -e "$work/temp.bin" ] || fail "round $round: an odd listing wrote a file"
  key End ctrl+z
  key ctrl+a
  undone=$(copy_text)
  [ "$undone" = "1A 2" ] || fail "round $round: Ctrl+Z gave '$undone'"

  # A missing folder: an error dialog; everything stays as it was.
  key ctrl+a
  paste_text "1A 2B"
  key shift+Tab                       # Text1
  key ctrl+a
  paste_text "無いフォルダー/out.bin"
  key Tab Tab Return                  # Command3
  dialog=
  for _ in $(seq 1 50); do
    dialog=$(xdotool search --name 'バイナリ変換ツール' 2>/dev/null | grep -vx "$form" | head -1) || true
    [ -n "$dialog" ] && break
    sleep 0.2
  done

  [ -n "$dialog" ] || fail "round $round: no error dialog for a missing folder"
  [ -n "$shot" ] && import -window root "$shot"
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  key Return                          # OK
  for _ in $(seq 1 25); do
    xdotool search --onlyvisible --name 'バイナリ変換ツール' 2>/dev/null | grep -qvx "$form" || break
    sleep 0.2
  done
  xdotool windowfocus --sync "$form" 2>/dev/null || true
  [ -z "$(ls "$work" | grep -v '^Zezovar')" ] || fail "round $round: files left: $(ls "$work")"

  # Closing the window ends the program.
  key alt+F4
  for _ in $(seq 1 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
  ! kill -0 "$app_pid" 2>/dev/null || fail "round $round: the program did not end on Alt+F4"
  wait "$app_pid" || fail "round $round: exit status $?"
  app_pid=
  echo "round $round passed"
done
