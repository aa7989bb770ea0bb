#!/usr/bin/env bash
# Runs tools/install-deps.sh on stand-in machines: a PATH of stub commands and
# a scratch folder as the root its file paths are looked for under. Each case
# sets up a machine, runs the script and checks its exit status, the apt-get
# calls it made and its output.
set -euo pipefail
script=$(cd "$(dirname "$0")/.." && pwd)/tools/install-deps.sh
work=$(mktemp -d /tmp/surge-install-deps-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The script's own table, as "package probe need" lines.
sed -n "/^readonly TABLE='$/,/^'$/p" "$script" | sed '1d;$d' | grep -v '^ *$' >"$work/table" || true
[ "$(wc -l <"$work/table")" -ge 10 ] || { echo "FAIL: no package table found in $script"; exit 1; }
all=$(awk '{ printf "%s%s", sep, $1; sep = " " }' "$work/table")
lean=$(awk '$3 == "calculator" { printf "%s%s", sep, $1; sep = " " }' "$work/table")
rest=$(awk '$3 != "calculator" { printf "%s%s", sep, $1; sep = " " }' "$work/table")

# give MACHINE PACKAGE...: gives MACHINE what each package's row looks for (a
# path with a * gets a version there). A script, so the stub apt-get can run it.
cat >"$work/give" <<'EOF'
#!/bin/bash
set -eu
PATH=/usr/bin:/bin
machine=$1
shift
for package in "$@"; do
  probe=$(awk -v p="$package" '$1 == p { print $2 }' "$(dirname "$0")/table")
  [ -n "$probe" ] || { echo "no row for $package"; exit 1; }
  if [[ $probe == /* ]]; then
    file=$machine/root${probe//\*/14.0.6}
    mkdir -p "$(dirname "$file")" && : >"$file"
  else
    printf '#!/bin/sh\n' >"$machine/bin/$probe" && chmod +x "$machine/bin/$probe"
  fi
done
EOF
chmod +x "$work/give"

# stub_machine MACHINE UID SUDO(yes|no) APT(ok|fail|hollow): a machine with the
# few real tools the script uses, and stubs for id, sudo and apt-get. sudo and
# apt-get record their calls in MACHINE/calls, apt-get as "FRONTEND VERB
# PACKAGES..."; its install gives the packages (ok), fails (fail), or says it
# worked and gives nothing (hollow).
stub_machine() {
  local machine=$1
  mkdir -p "$machine/bin" "$machine/root"
  for tool in env mktemp tail rm; do ln -s "$(command -v "$tool")" "$machine/bin/$tool"; done
  printf '#!/bin/sh\necho %s\n' "$2" >"$machine/bin/id"
  if [ "$3" = yes ]; then
    printf '#!/bin/bash\necho sudo >>"%s/calls"\nexec "$@"\n' "$machine" >"$machine/bin/sudo"
  fi
  cat >"$machine/bin/apt-get" <<EOF
#!/bin/bash
set -eu
words=()
for a in "\$@"; do case \$a in -*|*::*|*=*) ;; *) words+=("\$a") ;; esac; done
echo "\${DEBIAN_FRONTEND:-interactive} \${words[*]}" >>"$machine/calls"
echo "Reading package lists..."
[ "\${words[0]}" = install ] || exit 0
case $4 in
  ok) "$work/give" "$machine" "\${words[@]:1}" ;;
  fail) echo "E: Unable to locate package"; exit 100 ;;
esac
EOF
  chmod +x "$machine"/bin/*
  : >"$machine/calls"
}

# name | uid | sudo | apt-get | present beforehand (all, lean, none) | options |
# exit status | apt-get calls, ";" between | a line of the output.
# ALL, LEAN and REST stand for all packages, the lean build's, and the others;
# NALL and NLEAN for how many there are of the first two.
cases="
all present                |    0 | no  | ok     | all  |         | 0 | | all present (NALL packages)
all present, not root      | 1000 | no  | ok     | all  |         | 0 | | all present (NALL packages)
lean build's present       | 1000 | no  | ok     | lean | --lean  | 0 | | all present for the lean build (NLEAN packages)
nothing, as root           |    0 | no  | ok     | none |         | 0 | noninteractive update;noninteractive install ALL | installed ALL
nothing, lean build        |    0 | no  | ok     | none | --lean  | 0 | noninteractive update;noninteractive install LEAN | installed LEAN
lean build's present, all  |    0 | no  | ok     | lean |         | 0 | noninteractive update;noninteractive install REST | installed REST
nothing, through sudo      | 1000 | yes | ok     | none | --lean  | 0 | sudo;noninteractive update;sudo;noninteractive install LEAN | installed LEAN
nothing, no root, no sudo  | 1000 | no  | ok     | none | --lean  | 1 | | apt-get install -y LEAN
check only                 |    0 | no  | ok     | lean | --check | 1 | | missing: REST
check only, lean build     |    0 | no  | ok     | lean | --check --lean | 0 | | all present for the lean build
apt-get fails              |    0 | no  | fail   | lean |         | 1 | noninteractive update;noninteractive install REST | E: Unable to locate package
apt-get gives nothing      |    0 | no  | hollow | none | --lean  | 1 | noninteractive update;noninteractive install LEAN | cmake is installed but cmake is still not there
unknown option             |    0 | no  | ok     | none | --quick | 2 | | unknown option: --quick
"

expand() {
  local s=${1//NALL/$(wc -w <<<"$all")}
  s=${s//NLEAN/$(wc -w <<<"$lean")}
  s=${s//ALL/$all}
  s=${s//LEAN/$lean}
  echo "${s//REST/$rest}"
}
trim() { local s=$1; s=${s#"${s%%[! ]*}"}; echo "${s%"${s##*[! ]}"}"; }

failures=0 n=0
while IFS='|' read -r name uid sudo apt before options status calls output; do
  name=$(trim "$name")
  [ -n "$name" ] || continue
  n=$((n + 1))
  machine=$work/$n
  stub_machine "$machine" "$(trim "$uid")" "$(trim "$sudo")" "$(trim "$apt")"
  case $(trim "$before") in
    all) read -ra packages <<<"$all" ;;
    lean) read -ra packages <<<"$lean" ;;
    *) packages=() ;;
  esac
  [ ${#packages[@]} -eq 0 ] || "$work/give" "$machine" "${packages[@]}"
  read -ra args <<<"$options"
  got_status=0
  mkdir "$machine/tmp"
  got=$(PATH="$machine/bin" INSTALL_DEPS_ROOT="$machine/root" TMPDIR="$machine/tmp" \
        "$BASH" "$script" "${args[@]}" 2>&1) || got_status=$?
  # apt-get's log stays, and is named, only when apt-get failed.
  logs=("$machine"/tmp/*)
  [ -e "${logs[0]}" ] || logs=()
  got_calls=$(paste -sd';' "$machine/calls")
  want_calls=$(expand "$(trim "$calls")")
  want_output=$(expand "$(trim "$output")")
  problem=
  [ "$got_status" = "$(trim "$status")" ] || problem="exit status $got_status, wanted $(trim "$status")"
  [ "$got_calls" = "$want_calls" ] ||
    problem="${problem:+$problem; }apt-get calls [$got_calls], wanted [$want_calls]"
  grep -qF -- "$want_output" <<<"$got" || problem="${problem:+$problem; }output lacks [$want_output]"
  if [ "$(trim "$apt")" = fail ]; then
    { [ ${#logs[@]} = 1 ] && grep -qF "${logs[0]}" <<<"$got"; } ||
      problem="${problem:+$problem; }apt-get's log not kept and named: [${logs[*]}]"
  elif [ ${#logs[@]} != 0 ]; then
    problem="${problem:+$problem; }log left behind: ${logs[*]}"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL: $name: $problem"
    echo "    ${got//$'\n'/$'\n'    }"
    failures=$((failures + 1))
  fi
done <<<"$cases"

[ "$n" -ge 13 ] || { echo "FAIL: only $n cases ran"; exit 1; }
echo "install-deps: $n cases, $failures failed"
[ "$failures" = 0 ]
