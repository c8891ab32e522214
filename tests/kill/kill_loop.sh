# Kill loops: the real programs are killed (SIGKILL) at random moments while
# they replace their files, and what each kill left is checked.
#   kill_loop.sh saves SCENE_TOOL CLI     vantiro_random_scene saves two
#                                         scenes in turn into one folder
#   kill_loop.sh exports SCENE_TOOL CLI   vantiro-cli export writes two
#                                         scenes in turn onto one stick
# VANTIRO_KILLS: the kills wanted (100); VANTIRO_KILL_SEED: the seed of the
# random delays (printed, so that a failing run can be repeated).
#
# Saves, after each kill:
#  - each of the five files is byte for byte scene A's or scene B's; a
#    scene.conf with one files line is a scene's whole file, and the four
#    number files are then all that scene's; one with two files lines (the
#    first step of a save) is a scene's whole file with its files line
#    replaced by the two, each checksum in them A's or B's for its file, and
#    each number file is one that a line records;
#  - at most one temporary, of a scene file's name;
#  - vantiro-cli dump (the start-up loader) succeeds with the scene
#    scene.conf holds, the temporary is gone, and nothing was set aside.
# A kill landed mid-write when a temporary was there, or scene.conf had two
# files lines (some files replaced, the save not done).
#
# Exports: before each kill the stick holds scene X's whole export, and the
# killed export writes scene Y's. After the kill:
#  - a file with its old inode still holds X's bytes, a replaced one Y's
#    (time.txt: a whole time line of the killed run's time);
#  - when cmd.txt was replaced, so were the two text files it names;
#  - any temporary is of the export's own file names;
# then the next export (not killed) succeeds, leaves no temporary, and the
# stick holds Y's whole export. A kill landed mid-write when a temporary was
# there, or some of the four files were replaced and some not.
#
# No check waits for time: every check follows the killed program's end
# (wait). The random delay before each kill is the point of the test.

set -uo pipefail
export LC_ALL=C
shopt -s nullglob

mode=${1:-} tool=${2:-} cli=${3:-}
if [[ ! $mode =~ ^(saves|exports)$ ]] || [ ! -x "$tool" ] || [ ! -x "$cli" ]; then
  echo "usage: $0 saves|exports SCENE_TOOL CLI" >&2
  exit 2
fi
wanted=${VANTIRO_KILLS:-100}
seed=${VANTIRO_KILL_SEED:-$$}
RANDOM=$seed
kills=0
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch kill   # (a running child is ended at the exit)
mkdir "$work/timing"
fail_context() { echo "$mode, seed $seed, after $kills kills"; }

# Microseconds since the epoch.
now_us() {
  local t=$EPOCHREALTIME
  echo $((10#${t/./}))
}

# Microseconds that "$@" takes, the least of three runs (each must succeed).
duration_us() {
  local best=0 i start took
  for i in 1 2 3; do
    start=$(now_us)
    "$@" >/dev/null 2>"$work/run.err" || fail "$* failed: $(cat "$work/run.err")"
    took=$(($(now_us) - start))
    ((best == 0 || took < best)) && best=$took
  done
  echo "$best"
}

# Runs "$@" in the background and kills it (SIGKILL) after a random delay
# below $1 microseconds; status is then its exit status, 137 when the kill
# ended it.
run_and_kill() {
  local max=$1 delay
  shift
  delay=$((((RANDOM << 15) | RANDOM) % max))
  "$@" >/dev/null 2>"$work/run.err" &
  child=$!
  sleep "$((delay / 1000000)).$(printf %06d $((delay % 1000000)))"
  kill -9 "$child" 2>/dev/null
  wait "$child" 2>/dev/null
  status=$?
  child=""
}

# Tells the outcome of a killed run: counts the kill, or fails on an exit
# the kill did not cause. finished_first counts runs done before the kill.
count_run() {
  case $status in
    137) kills=$((kills + 1)) ;;
    0) finished_first=$((finished_first + 1)) ;;
    *) fail "the program ended with status $status: $(cat "$work/run.err")" ;;
  esac
}

echo "$mode: $wanted kills wanted; VANTIRO_KILL_SEED=$seed repeats these delays"
finished_first=0
mid_write=0
temps_seen=0
attempts=0

# ---------------------------------------------------------------- saves
if [ "$mode" = saves ]; then
  names=(digit.conf leduit.conf string.conf grape.conf)
  ref=$work/ref
  dir=$work/scene
  mkdir -p "$ref/A" "$ref/B" "$dir"
  # Two scenes that differ in string.conf, leduit.conf and scene.conf.
  seed_of=([0]=2 [1]=3)
  scene_of=([0]=A [1]=B)
  for i in 0 1; do
    X=${scene_of[i]}
    "$tool" "${seed_of[i]}" "$ref/$X" >/dev/null || fail "scene $X could not be made"
    "$cli" dump "$ref/$X" >"$ref/$X.json" 2>"$work/run.err" || fail "scene $X does not load: $(cat "$work/run.err")"
  done
  cmp -s "$ref/A.json" "$ref/B.json" && fail "the two scenes load alike"
  cmp -s "$ref/A/scene.conf" "$ref/B/scene.conf" && fail "the two scenes have the same scene.conf"
  differing=0
  for n in "${names[@]}"; do cmp -s "$ref/A/$n" "$ref/B/$n" || differing=$((differing + 1)); done
  ((differing >= 2)) || fail "only $differing number files differ between the two scenes"
  read -r word sums_A <<<"$(grep -a '^files ' "$ref/A/scene.conf")"
  read -r word sums_B <<<"$(grep -a '^files ' "$ref/B/scene.conf")"
  read -r -a sum_A <<<"$sums_A"
  read -r -a sum_B <<<"$sums_B"
  [ "${#sum_A[@]}" -eq 4 ] && [ "${#sum_B[@]}" -eq 4 ] || fail "a scene.conf without one files line of four checksums"

  # The saving loop writes the very bytes of the scenes above: two saves
  # leave B's five files, three A's.
  for saves in 2 3; do
    rm -f "$dir"/*
    "$tool" 2 "$dir" --alternate 3 "$saves" || fail "$saves saves in turn failed"
    X=$([ "$saves" = 2 ] && echo B || echo A)
    for n in "${names[@]}" scene.conf; do
      cmp -s "$dir/$n" "$ref/$X/$n" || fail "after $saves saves in turn, $n is not scene $X's"
    done
  done
  save_us=$(duration_us "$tool" 2 "$work/timing")
  # Kills spread over the start and a few saves.
  max_delay=$((4 * save_us))

  consistent=0 widened=0 old=0 new=0 either=0
  while ((kills < wanted)); do
    attempts=$((attempts + 1))
    ((attempts <= 2 * wanted)) || fail "only $kills kills in $attempts runs"
    # Runs start with A and B in turn: a run's first save sometimes writes
    # the scene the files already hold, sometimes the other.
    first=$((attempts % 2))
    run_and_kill "$max_delay" "$tool" "${seed_of[first]}" "$dir" --alternate "${seed_of[1 - first]}" 1000000
    count_run

    temps=("$dir"/*.tmp-*)
    ((${#temps[@]} <= 1)) || fail "${#temps[@]} temporaries at once: ${temps[*]##*/}"
    for t in "${temps[@]}"; do
      [[ ${t##*/} =~ ^(digit|leduit|string|grape|scene)\.conf\.tmp-[A-Za-z0-9]{6}$ ]] ||
        fail "a temporary of an unknown name: ${t##*/}"
    done
    temps_seen=$((temps_seen + ${#temps[@]}))

    # The four number files: each one scene's, and its checksum.
    version=() sum=()
    for k in 0 1 2 3; do
      n=${names[k]}
      if cmp -s "$dir/$n" "$ref/A/$n"; then
        version[k]=A sum[k]=${sum_A[k]}
      elif cmp -s "$dir/$n" "$ref/B/$n"; then
        version[k]=B sum[k]=${sum_B[k]}
      else
        fail "$n is neither scene's ($(wc -c <"$dir/$n") bytes)"
      fi
    done

    mapfile -t lines < <(grep -a '^files ' "$dir/scene.conf")
    conf=""
    case ${#lines[@]} in
      1)
        for X in A B; do cmp -s "$dir/scene.conf" "$ref/$X/scene.conf" && conf=$X; done
        [ -n "$conf" ] || fail "scene.conf ($(wc -c <"$dir/scene.conf") bytes) is neither scene's whole file"
        for k in 0 1 2 3; do
          cmp -s "$dir/${names[k]}" "$ref/$conf/${names[k]}" ||
            fail "scene.conf is scene $conf's alone, but ${names[k]} is scene ${version[k]}'s"
        done
        consistent=$((consistent + 1))
        ;;
      2)
        for X in A B; do
          awk -v a="${lines[0]}" -v b="${lines[1]}" '$1 == "files" { print a; print b; next } { print }' \
            "$ref/$X/scene.conf" >"$work/widened"
          cmp -s "$dir/scene.conf" "$work/widened" && conf=$X
        done
        [ -n "$conf" ] || fail "scene.conf with two files lines is not a scene's file widened"
        read -r word l1 <<<"${lines[0]}"
        read -r word l2 <<<"${lines[1]}"
        read -r -a first_line <<<"$l1"
        read -r -a second_line <<<"$l2"
        for k in 0 1 2 3; do
          for s in "${first_line[k]}" "${second_line[k]}"; do
            [ "$s" = "${sum_A[k]}" ] || [ "$s" = "${sum_B[k]}" ] ||
              fail "scene.conf records $s for ${names[k]}, neither scene's checksum"
          done
          # The first line: the files the save found; the second: its own.
          if [ "${sum[k]}" = "${first_line[k]}" ] && [ "${sum[k]}" = "${second_line[k]}" ]; then
            either=$((either + 1))
          elif [ "${sum[k]}" = "${first_line[k]}" ]; then
            old=$((old + 1))
          elif [ "${sum[k]}" = "${second_line[k]}" ]; then
            new=$((new + 1))
          else
            fail "${names[k]} (scene ${version[k]}'s) is recorded by neither files line of scene.conf"
          fi
        done
        widened=$((widened + 1))
        ;;
      *) fail "scene.conf has ${#lines[@]} files lines" ;;
    esac
    if ((${#temps[@]} > 0 || ${#lines[@]} == 2)); then mid_write=$((mid_write + 1)); fi

    # A reader loads the scene scene.conf holds and leaves the folder as
    # it found it; the editor's next start removes the temporaries and
    # sets nothing aside.
    before=$(ls -A "$dir")
    "$cli" dump "$dir" >"$work/got.json" 2>"$work/dump.err" ||
      fail "the scene does not load: $(cat "$work/dump.err")"
    cmp -s "$work/got.json" "$ref/$conf.json" ||
      fail "the loaded scene is not scene $conf (number files ${version[*]}, ${#lines[@]} files lines): $(head -c 2000 "$work/dump.err")"
    [ "$(ls -A "$dir")" = "$before" ] || fail "dump changed the folder: $before -> $(ls -A "$dir")"
    "$tool" --open "$dir" 2>"$work/dump.err" || fail "the editor's start failed: $(cat "$work/dump.err")"
    left=("$dir"/*.tmp-*)
    ((${#left[@]} == 0)) || fail "temporaries left after the start-up: ${left[*]##*/}"
    aside=("$dir"/*.bad-*)
    ((${#aside[@]} == 0)) || fail "the start-up set files aside: ${aside[*]##*/}: $(cat "$work/dump.err")"
  done
  files=$((5 * kills))
  echo "saves: $kills kills ($finished_first runs ended before their kill), $mid_write mid-write, $temps_seen temporaries seen before the start-up removed them"
  echo "saves: $files files checked, all whole: $consistent kills left one scene's five files, $widened a save's first step done (number files then: $old the found ones, $new the new ones, $either alike in both)"
  ((mid_write > 0)) || fail "no kill landed mid-write"
  echo "PASS"
  exit 0
fi

# -------------------------------------------------------------- exports
files=(init/time.txt TXT/my_txt3.txt TXT/my_txt4.txt CMD/cmd.txt)
stick=$work/stick
mkdir -p "$stick"
seed_of=([0]=2 [1]=3)
scene_of=([0]=A [1]=B)
for i in 0 1; do
  X=${scene_of[i]}
  mkdir -p "$work/$X" "$work/ref$X"
  read -r pitch rows cols width height rest < <("$tool" "${seed_of[i]}" "$work/$X" --text-files) ||
    fail "scene $X could not be made"
  printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$width" "$height" >"$work/$X/SysCfg.ini"
  "$cli" export "$work/ref$X" "$work/$X" >/dev/null 2>"$work/run.err" ||
    fail "scene $X does not export: $(cat "$work/run.err")"
done
for f in "${files[@]:1}"; do
  cmp -s "$work/refA/ledsys/$f" "$work/refB/ledsys/$f" && fail "$f is the same for both scenes"
done

# True when $1 is one whole time line ("set time Y M D h m s", text-mode line
# end, then a space) of a time from $2 to $3 (seconds since the epoch).
time_line_between() {
  local w1 w2 y mo d h mi s t
  read -r w1 w2 y mo d h mi s _ <"$1"
  [[ "$w1 $w2" == "set time" && "$y$mo$d$h$mi$s" =~ ^[0-9]+$ ]] || return 1
  printf 'set time %d %d %d %d %d %d \r\n ' "$y" "$mo" "$d" "$h" "$mi" "$s" 2>/dev/null | cmp -s - "$1" || return 1
  t=$(date -d "$y-$mo-$d $h:$mi:$s" +%s) || return 1
  ((t >= $2 - 1 && t <= $3 + 1))
}

# Fails unless the stick holds scene $1's whole export, written from $2 to
# $3, and no temporary.
whole_export() {
  local f left
  for f in "${files[@]:1}"; do
    cmp -s "$stick/ledsys/$f" "$work/ref$1/ledsys/$f" || fail "after a whole export of $1, $f is not its"
  done
  time_line_between "$stick/ledsys/init/time.txt" "$2" "$3" ||
    fail "after a whole export, time.txt is not a time line of its run: $(od -c "$stick/ledsys/init/time.txt" | head -3)"
  left=("$stick"/ledsys/*/*.tmp-*)
  ((${#left[@]} == 0)) || fail "temporaries left after a whole export: ${left[*]#"$stick/"}"
}

start=$(date +%s)
"$cli" export "$stick" "$work/A" >/dev/null 2>"$work/run.err" || fail "the first export failed: $(cat "$work/run.err")"
whole_export A "$start" "$(date +%s)"
export_us=$(duration_us "$cli" export "$work/timing" "$work/A")
# Kills spread over the whole run, some after its end.
max_delay=$((export_us * 5 / 4))

X=A Y=B old=0 new=0
declare -A inode
while ((kills < wanted)); do
  attempts=$((attempts + 1))
  ((attempts <= 4 * wanted)) || fail "only $kills kills in $attempts runs"
  for f in "${files[@]}"; do inode[$f]=$(stat -c %i "$stick/ledsys/$f"); done
  cp "$stick/ledsys/init/time.txt" "$work/old_time"
  start=$(date +%s)
  run_and_kill "$max_delay" "$cli" export "$stick" "$work/$Y"
  end=$(date +%s)
  count_run

  temps=("$stick"/ledsys/*/*.tmp-*)
  for t in "${temps[@]}"; do
    [[ ${t#"$stick/ledsys/"} =~ ^(CMD/cmd|init/time|TXT/my_txt3|TXT/my_txt4)\.txt\.tmp-[A-Za-z0-9]{6}$ ]] ||
      fail "a temporary of an unknown name: ${t#"$stick/"}"
  done
  temps_seen=$((temps_seen + ${#temps[@]}))

  replaced=0
  declare -A is_new=()
  for f in "${files[@]}"; do
    path=$stick/ledsys/$f
    [ -f "$path" ] || fail "$f is gone"
    if [ "$(stat -c %i "$path")" = "${inode[$f]}" ]; then
      if [ "$f" = init/time.txt ]; then
        cmp -s "$path" "$work/old_time" || fail "time.txt changed in place"
      else
        cmp -s "$path" "$work/ref$X/ledsys/$f" || fail "$f, not replaced, is not scene $X's"
      fi
      old=$((old + 1))
    else
      if [ "$f" = init/time.txt ]; then
        time_line_between "$path" "$start" "$end" ||
          fail "the new time.txt is not a whole time line of the run: $(od -c "$path" | head -3)"
      else
        cmp -s "$path" "$work/ref$Y/ledsys/$f" || fail "$f, replaced, is not scene $Y's ($(wc -c <"$path") bytes)"
      fi
      new=$((new + 1)) replaced=$((replaced + 1)) is_new[$f]=1
    fi
  done
  if [[ -n ${is_new[CMD/cmd.txt]:-} && (-z ${is_new[TXT/my_txt3.txt]:-} || -z ${is_new[TXT/my_txt4.txt]:-}) ]]; then
    fail "cmd.txt is scene $Y's, but a text file it names is still scene $X's"
  fi
  if ((status == 137 && (${#temps[@]} > 0 || (replaced > 0 && replaced < ${#files[@]})))); then
    mid_write=$((mid_write + 1))
  fi

  # The next export, to its end.
  start=$(date +%s)
  "$cli" export "$stick" "$work/$Y" >/dev/null 2>"$work/run.err" ||
    fail "the export after a kill failed: $(cat "$work/run.err")"
  whole_export "$Y" "$start" "$(date +%s)"
  tmp=$X X=$Y Y=$tmp
done
echo "exports: $kills kills ($finished_first runs ended before their kill), $mid_write mid-write, $temps_seen temporaries seen before the next export removed them"
echo "exports: $((4 * (kills + finished_first))) files checked, all whole: $old the old version, $new the new one"
((mid_write > 0)) || fail "no kill landed mid-write"
echo "PASS"
