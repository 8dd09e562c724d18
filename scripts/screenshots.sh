#!/usr/bin/env bash
# Takes screenshots of the window on the built-in instrument, one per page, under
# a virtual X server, and saves them as PNG files in docs/. The window is driven
# as a user drives it: clicks on the navigation bar and on the simulator panel.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside-xvfb" ]; then
    ./scripts/install-deps.sh --screenshots
    # The window is shown as on the lab's PC, with a Russian system locale.
    if ! locale -a | grep -qix 'ru_RU.utf8'; then
        SUDO=""
        [ "$(id -u)" -eq 0 ] || SUDO="sudo"
        $SUDO localedef -i ru_RU -c -f UTF-8 ru_RU.UTF-8
    fi
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" --target kalent-service
    mkdir -p docs
    exec xvfb-run -a -s "-screen 0 1280x720x24" "$0" --inside-xvfb
fi

data_dir=$(mktemp -d)
# The window's remembered choices (the heat map) stay out of the user's own settings.
export XDG_CONFIG_HOME="$data_dir/config"
# An earlier table under the save dialog's default name, for the overwrite prompt.
printf 'earlier table' > "$data_dir/VirDat_.xls"
# The clock and the file dialogs' dates, sizes and file types follow the
# system locale.
LANG=ru_RU.UTF-8 LC_ALL= LANGUAGE= \
    ./build/src/app/kalent-service --port sim --data-dir "$data_dir" 2>/dev/null &
app=$!
trap 'kill $app 2>/dev/null || true; rm -rf "$data_dir"' EXIT

window=$(timeout 20 xdotool search --sync --name '^КАЛЕНТ-сервис$' | head -1)
simulator=$(timeout 20 xdotool search --sync --name '^Симулятор' | head -1)
sleep 1

# Positions inside the fixed-size window (634 x 421) and the simulator panel.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; xdotool mousemove 5 5; }
shot() { import -window "$window" "docs/$1.png"; }
shot_all() { import -window root -crop 920x440+330+130 +repage "docs/$1.png"; }
# A dialog of the window: the newest visible window whose title matches.
find_dialog() {
    local found
    found=$(timeout 10 xdotool search --sync --onlyvisible --name "$1" | sort -n | tail -1)
    [ -n "$found" ] || { echo "no window titled $1" >&2; exit 1; }
    echo "$found"
}
shot_dialog() { import -window "$1" "docs/$2.png"; }

shot window-about
click "$window" 33 127   # Программирование / Вирант
sleep 1
shot window-firmware
click "$window" 45 144   # Программирование / БД тест-систем
sleep 5                  # the contact search ends at 115200
click "$window" 188 320  # " из прибора": read the instrument's database
sleep 2
shot window-database
click "$window" 60 194   # Ридер / Оптические плотности
sleep 5
click "$window" 162 271  # "Принять данные": read the table
sleep 1
shot window-reader
click "$window" 274 271  # "Данные в файл": Qt's save dialog, in Russian
sleep 1
dialog=$(find_dialog '^Сохранить')
shot_dialog "$dialog" dialog-save
click "$dialog" 575 358  # "Сохранить": VirDat_.xls exists, so the overwrite prompt
sleep 1
prompt=$(find_dialog '^Сохранить')
shot_dialog "$prompt" dialog-overwrite
click "$prompt" 204 62   # "Нет": the earlier file stays
sleep 0.5
click "$dialog" 575 388  # "Отмена"
sleep 0.5
click "$window" 500 271  # "Из файла в Excel": the open dialog
sleep 1
dialog=$(find_dialog '^Открыть')
shot_dialog "$dialog" dialog-open
click "$dialog" 575 388  # "Отмена"
sleep 0.5
click3() { xdotool mousemove --window "$1" "$2" "$3" click 3; }
click3 "$window" 300 150 # the grid's context menu: "Тепловая карта"
sleep 1
xdotool key Down Return
sleep 1
shot window-reader-heatmap
click "$window" 38 211   # Ридер / Результаты
sleep 5
click "$window" 190 319  # "Принять данные": read the protocol
sleep 2
shot window-results
click "$simulator" 16 38 # the simulator's power switch: off
sleep 1
shot_all window-link-down
# The first page of the protocol as PDF.
./build/src/app/kalent-service read-protocol --port sim --data-dir "$data_dir" \
    --pdf "$data_dir/protocol.pdf" 2>/dev/null
pdftoppm -r 60 -f 1 -l 1 -png -singlefile "$data_dir/protocol.pdf" docs/protocol-pdf
echo "screenshots saved in docs/"
