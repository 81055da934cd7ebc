# The commanded half of scripts/demo (sourced by it): two packages, a job to completion, a
# duplicate refused, an urgent cancel of a running job, a deletion batch and a ban period.

echo "== Packing two commanded packages with cvdt-pack"
mkdir -p "$demo/src/viewer" "$demo/src/update"
printf 'Sample Viewer 2.1\r\n' > "$demo/src/viewer/readme.txt"
printf 'echo "installed $(date +%%H:%%M:%%S) with options: $*" > "$(dirname "$0")/installed.txt"\nexit 0\n' \
  > "$demo/src/viewer/install.bat"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\SampleViewer]\r\n"Version"="2.1"\r\n"Installed"=dword:00000001\r\n' \
  > "$demo/src/viewer/viewer.reg"
head -c 16M /dev/urandom > "$demo/src/update/payload.bin"
viewer=$("$pack" normal --id 101 --name "Sample Viewer" --version 2.1 \
  --src "$demo/src/viewer" --out "$demo/www" --exec install.bat --exec-options "/quiet" \
  --reg-file viewer.reg --part-size 64K | sed -n 's/^contents=//p')
update=$("$pack" normal --id 102 --name "Large Update" \
  --src "$demo/src/update" --out "$demo/www" --part-size 4M | sed -n 's/^contents=//p')
echo "  package 101 (Sample Viewer): $(find "$demo/www/Corvane/dist/normal/101" -type f | wc -l) part(s)"
echo "  package 102 (Large Update):  $(find "$demo/www/Corvane/dist/normal/102" -type f | wc -l) part(s), 16 MiB"

echo "== The host agent: three jobs posted before the manager starts, so that the third, for the"
echo "   distribution the second already queued, is surely refused as a duplicate (\"100\")"
agent_start
say "echo -- jobs 1001 (Sample Viewer), 1002 (Large Update) and 1003 (Large Update again)" \
    "ndist-cmd 1001 \"$viewer\"" "ndist-cmd 1002 \"$update\"" "ndist-cmd 1003 \"$update\""
expect_result 1003 100 30
say "echo -- commanded distribution starts: 1001 runs to completion, then 1002 starts" \
    "ndist-func \"127.0.0.1|%0|&60\""
expect_result 1001 060
# The large update is running once the distribution server answered a request for it; the
# download is capped at 500 kB/s, so it is still running when the cancel arrives.
wait_line "$demo/http.log" 'GET /Corvane/dist/normal/102/' 120 >/dev/null ||
  fail "job 1002 never asked the distribution server for its files"
say "echo -- urgent cancel of the running Large Update" "ndist-cancel 1004 102"
expect_result 1002 040
say "ndist-stop"
agent_end
echo "  the gateway's row of job 1002: $(gateway_row commanded 102)"
gateway_row commanded 102 | grep -q 'cmd_id=1002 .*status=942' ||
  fail "the gateway did not record job 1002 as cancelled (\"942\")"
echo
echo "== Files the job placed (base folder \".\" puts them under the module folder)"
(cd "$modules" && find ndist_temp -type f | sort | sed 's/^/  /')
[ -s "$modules/ndist_temp/101/installed.txt" ] || fail "job 1001's install.bat did not run"
echo "  installed.txt says: $(cat "$modules/ndist_temp/101/installed.txt")"
echo "== Registry values the package's viewer.reg imported (the module's 32-bit regedit puts"
echo "   HKLM\\SOFTWARE\\SampleViewer in the 32-bit view: HKLM\\SOFTWARE\\WOW6432Node\\SampleViewer)"
"$host" registry show 'HKLM\SOFTWARE\SampleViewer' | sed 's/^/  /'
echo
echo "== The host agent again: job 2001 is posted, then the manager starts with Sample Viewer"
echo "   (101) declared completed, so its files are deleted, and with a ban period all day, so"
echo "   the queued job is dropped (\"941\")"
agent_start
say "ndist-cmd 2001 \"$update\"" "ndist-func \"127.0.0.1|%0|&60|&Y|%00:00:00|*23:59:59|%101|*.\""
expect_result 2001 040
say "ndist-stop"
agent_end
echo "  the gateway's row of job 2001: $(gateway_row commanded 102)"
gateway_row commanded 102 | grep -q 'cmd_id=2001 .*status=941' ||
  fail "the gateway did not record job 2001 as dropped by the ban period (\"941\")"
echo
echo "== Distribution 101's files after the deletion batch"
[ ! -e "$modules/ndist_temp/101" ] || fail "the deletion batch left ndist_temp/101"
echo "  (removed)"
gateway_row commanded 101 | grep -q 'deleted_at=[0-9]' ||
  fail "the gateway was not told of 101's deletion"
