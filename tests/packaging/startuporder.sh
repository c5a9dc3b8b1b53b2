#!/bin/sh
# scripts/startup-order --list against small callgrind profiles: which functions of the
# executable it lists as run, in the compressed form callgrind writes (names in full once,
# by number after; objects and functions first named as a callee).
set -eu
script=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
exe=/tmp/run/zorvane

# The start of a profile and its first object, a library calling into the program: the
# program and its constructor are first named as the callee.
cat >"$dir/first" <<PROFILE
version: 1
creator: callgrind-3.19.0
cmd: ./zorvane
events: Ir
ob=(1) /usr/lib/x86_64-linux-gnu/libQt6Core.so.6
fl=(1) ???
fn=(1) _ZN7QObjectC2EPS_
cob=(2) $exe
cfi=(1)
cfn=(2) _ZN7zorvane3app7SessionC1Ev
calls=1 0
0 5
PROFILE

# Each expected function stands for two lines, its own section and its copies' ("name.*");
# an expected line that names a section (".text.") stands for itself. Compared sorted.
check() { # NAME FUNCTIONS PROFILE...
    name=$1
    expected=$(printf '%s\n' "$2" | sed '/^$/d; /^\.text\./b; s/.*/.text.&\n.text.&.*/' | LC_ALL=C sort)
    shift 2
    if ! got=$("$script" --list "$exe" "$@"); then
        echo "$name: the listing failed"
        exit 1
    fi
    if [ "$got" != "$expected" ]; then
        printf '%s:\nexpected:\n%s\ngot:\n%s\n' "$name" "$expected" "$got"
        exit 1
    fi
}

# Object and function named in full first, by number after; a callee named by cfn that ran
# too, once also deeper in a recursion; an executable whose path only starts like the
# program's; a library's function.
{
    cat "$dir/first"
    cat <<PROFILE
ob=(2)
fn=(2)
0 3
cfn=(3) _ZL6helperv.lto_priv.0
calls=1 0
0 1
fn=(3)
0 1
fn=(10) _ZL6helperv.lto_priv.0'2
0 1
fn=(4) main
0 2
ob=(3) $exe-helper
fn=(5) _ZN5other3runEv
0 1
ob=(1)
fn=(6) _ZN7QWidget4showEv
0 1
fn=(2)
0 1
PROFILE
} >"$dir/numbered"
check "numbers and callees" "_ZL6helperv.lto_priv.0
_ZN7zorvane3app7SessionC1Ev
_ZN7zorvane3app7SessionC2Ev
main
.text.startup.main" "$dir/numbered"

# A callee of the program that never ran on its own account (its costs are not in the
# profile) and names that are no functions of the program's code are not listed.
{
    cat "$dir/first"
    cat <<PROFILE
ob=(2)
fn=(2)
cob=(1)
cfn=(7) _ZN7QString8fromUtf8E11QByteArrayView
calls=1 0
0 1
cfn=(8) _ZN7zorvane4text4trimESt17basic_string_viewIcSt11char_traitsIcEE
calls=1 0
0 1
fn=(9) 0x00000000000a1b2c
0 1
PROFILE
} >"$dir/callees"
check "callees that did not run" "_ZN7zorvane3app7SessionC1Ev
_ZN7zorvane3app7SessionC2Ev" "$dir/callees"

# Two dumps of one run number the same names differently: the union, each once.
{
    cat "$dir/first"
    printf 'ob=(2)\nfn=(2)\n0 1\nfn=(3) _ZN7zorvane3app4Tick6onTickEv\n0 1\n'
} >"$dir/dump1"
printf 'version: 1\nevents: Ir\nob=(1) %s\nfn=(1) _ZN7zorvane3app4Tick6onTickEv\n0 1\nfn=(2) _ZN7zorvane3app10MainWindow7onClockEv\n0 1\n' \
    "$exe" >"$dir/dump2"
check "two dumps" "_ZN7zorvane3app10MainWindow7onClockEv
_ZN7zorvane3app4Tick6onTickEv
_ZN7zorvane3app7SessionC1Ev
_ZN7zorvane3app7SessionC2Ev" "$dir/dump1" "$dir/dump2"

# Constructors and destructors of complete objects run as the base ones' aliases: both
# sections are listed, since the code lies in the base one's.
{
    cat "$dir/first"
    printf 'ob=(2)\nfn=(3) _ZN7zorvane3app11WindowSetupD1Ev\n0 1\nfn=(4) _ZN7zorvane3app8BossGridD0Ev\n0 1\n'
} >"$dir/aliases"
check "aliases" "_ZN7zorvane3app11WindowSetupD1Ev
_ZN7zorvane3app11WindowSetupD2Ev
_ZN7zorvane3app8BossGridD0Ev" "$dir/aliases"

# Start-up functions and cold parts lie in sections of their own kind.
{
    cat "$dir/first"
    printf 'ob=(2)\nfn=(3) _GLOBAL__sub_I_mainwindow.cpp\n0 1\nfn=(4) _ZN7zorvane3app4Tick6onTickEv.cold\n0 1\n'
} >"$dir/kinds"
check "start-up and cold" "_GLOBAL__sub_I_mainwindow.cpp
.text.startup._GLOBAL__sub_I_mainwindow.cpp
_ZN7zorvane3app4Tick6onTickEv.cold
.text.unlikely._ZN7zorvane3app4Tick6onTickEv" "$dir/kinds"

# Nothing of the program ran: an empty list, not a failure.
check "nothing of the program" "" "$dir/first"
echo "startup-order listings as expected"
