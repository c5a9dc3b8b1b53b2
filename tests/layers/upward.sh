#!/bin/sh
# scripts/check-layers against a small tree that breaks the layers: a service including a
# widget header and <QWidget>, a core module including Qt and a service. Each must be named,
# and the check must fail; the same tree without them must pass.
set -eu
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/services" "$tree/schedule" "$tree/widgets"
printf '#include "schedule/tick.h"\n#include <QObject>\n' >"$tree/services/fine.cpp"
printf '#include "services/fine.h"\n#include <QWidget>\n' >"$tree/widgets/fine.cpp"
"$check" "$tree" >/dev/null || { echo "a tree that keeps the layers was refused"; exit 1; }

printf '#include "widgets/mainwindow.h"\n#include <QWidget>\n' >"$tree/services/upward.cpp"
printf '#include <QString>\n#include "services/preferences.h"\n' >"$tree/schedule/qt.h"
if out=$("$check" "$tree"); then
    echo "includes against the layers were let through"
    exit 1
fi
for expected in "services/upward.cpp:1: includes widgets/mainwindow.h" \
                "services/upward.cpp:2: includes <QWidget> from QtWidgets" \
                "schedule/qt.h:1: includes <QString> from QtCore" \
                "schedule/qt.h:2: includes services/preferences.h"; do
    case $out in
    *"$expected"*) ;;
    *) echo "not named: $expected"; echo "$out"; exit 1 ;;
    esac
done
