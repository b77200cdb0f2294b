#!/usr/bin/env bash
# A release build trusts only a real update key and talks only to real
# servers: configuring one without them fails and says what is missing.
#
# usage: release_build_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

demo_key=$(grep -E '^[0-9a-f]{64}$' "$source_dir/server/sample-job-key.pub" | head -n 1)
real_key=$(printf '%064d' 7 | tr 0 a)
real_servers=(-DZORVA_SERVER_1=http://a.example -DZORVA_SERVER_2=http://b.example
  -DZORVA_SERVER_3=http://c.example/xinxi50)

n=0
configure() {  # configure EXPECTED_EXIT EXPECTED_TEXT CMAKE_ARGS...
  local want=$1 text=$2 code=0
  shift 2
  n=$((n + 1))
  cmake -S "$source_dir" -B "$tmp/$n" -G Ninja -DZORVA_RELEASE=ON -DZORVA_BUILD_TESTS=OFF "$@" \
    >"$tmp/$n.log" 2>&1 || code=$?
  if [ $((code != 0)) != "$want" ] || ! grep -q -- "$text" "$tmp/$n.log"; then
    echo "FAIL: cmake $* gave code $code, expected $([ "$want" = 1 ] && echo failure || echo success) with \"$text\"" >&2
    cat "$tmp/$n.log" >&2
    exit 1
  fi
}

configure 1 "needs a real update key" "${real_servers[@]}"
configure 1 "needs a real update key" -DZORVA_DEMO_UPDATE_KEY=ON "${real_servers[@]}"
configure 1 "published demo key" -DZORVA_UPDATE_PUBLIC_KEY="$demo_key" "${real_servers[@]}"
configure 1 "needs real server candidates" -DZORVA_UPDATE_PUBLIC_KEY="$real_key"
configure 1 "needs real server candidates" -DZORVA_UPDATE_PUBLIC_KEY="$real_key" \
  -DZORVA_SERVER_1=http://a.example -DZORVA_SERVER_2=http://localhost:8081 \
  -DZORVA_SERVER_3=http://c.example
configure 0 "Update key: $real_key" -DZORVA_UPDATE_PUBLIC_KEY="$real_key" "${real_servers[@]}"
echo "PASS: a release build needs a real key and real servers"
