#!/usr/bin/env bash
# End to end: the real zorva under Xvfb against a real zorva-server. A user
# types the name and password into the login dialog and presses Enter; the
# main frame must come up with the version in its title, and the users file
# must hold the user. Screenshots of both windows are kept as artifacts.
#
# usage: sign_in_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
user=e2euser
password=e2e-Pass1
e2e_begin e2e_failure.png

# Two candidates that refuse connections, then the live one.
e2e_serve_and_start_client "$user" "$password" "$content" \
  'http://127.0.0.1:1;http://127.0.0.1:9/none;{base}'
e2e_sign_in --shot e2e_login.png "$user" "$password"

e2e_find_main_frame
e2e_shot e2e_main_frame.png

kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
[ -f "$client_dir/zorva_user.xml" ] || e2e_fail "zorva_user.xml was not written"
# The first user of this computer, without automatic sign-in; line breaks
# are carriage return + line feed on disk.
printf '<user name="%s" order="1" /><default_user_name>%s</default_user_name>\r\n<auto_login>false</auto_login>' \
  "$user" "$user" >"$work/expected_users.xml"
cmp -s "$work/expected_users.xml" "$client_dir/zorva_user.xml" ||
  e2e_fail "zorva_user.xml does not hold just $user: $(od -c "$client_dir/zorva_user.xml" | head -n 8)"
[ ! -e "$client_dir/$user.dat" ] || e2e_fail "a password was saved without automatic sign-in"
e2e_window_gone 欢迎您进入Zorva学习娱乐空间 0 || e2e_fail "the login dialog is still shown"

echo "PASS: signed in as $user through $base; main frame window $frame"
echo "screenshots: $artifacts/e2e_login.png $artifacts/e2e_main_frame.png"
