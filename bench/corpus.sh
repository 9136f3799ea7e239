# shellcheck shell=bash
# Sourced by bench/run and bench/gui-run: the benchmark library, made once by
# bench/make_corpus (which must be built in build/native-release) and kept in
# build/bench-corpus under a name made of the file count, the seed and a hash
# of the generator's sources, so that any change to them makes a new one.
#
#   bench_corpus ROOT N    sets CORPUS_MUSIC (the tree), CORPUS_EXPECTED
#                          ("path<TAB>seconds" per music file) and
#                          CORPUS_SUMMARY (one line: files, sizes)
#
# AURALITH_BENCH_SEED picks another library of the same shape (default 1).

bench_corpus() {
  local root=$1 n=$2 seed=${AURALITH_BENCH_SEED:-1} key dir
  key=$(cat "$root/bench/make_corpus.cpp" "$root"/tests/support/audio_fixtures.{h,cpp} | sha256sum | cut -c1-12)
  dir=$root/build/bench-corpus/n$n-s$seed-$key
  CORPUS_MUSIC=$dir/music
  CORPUS_EXPECTED=$dir/expected.tsv
  CORPUS_SUMMARY=$dir/summary.txt
  [[ -f $dir/.complete ]] && return 0
  # A tree of the same count and seed from an older generator is stale.
  rm -rf "$root/build/bench-corpus/n$n-s$seed-"*
  mkdir -p "$dir"
  "$root/build/native-release/bench/make_corpus" "$CORPUS_MUSIC" "$n" "$seed" >"$CORPUS_EXPECTED" 2>"$CORPUS_SUMMARY" || {
    cat "$CORPUS_SUMMARY" >&2
    return 1
  }
  touch "$dir/.complete"
}
