# The automatic half of scripts/demo (sourced by it): two items checked by their product
# policies, fetched through a server list whose first address is dead, then an update of one
# file of one item.

echo
echo "== Packing two automatic packages with cvdt-pack"
mkdir -p "$demo/src/tool" "$demo/src/notes"
# The installer logs beside its folder: the clean-up removes what the package does not name.
printf 'echo "run $(date +%%H:%%M:%%S)" >> "$(dirname "$0")/../sample-tool-runs.txt"\nexit 0\n' \
  > "$demo/src/tool/install.bat"
printf 'Sample Tool 1.0\r\n' > "$demo/src/tool/readme.txt"
printf 'retired in 1.1\r\n' > "$demo/src/tool/old.txt"
head -c 96K /dev/urandom > "$demo/src/tool/data.bin"
printf 'exit 0\n' > "$demo/src/notes/setup.bat"
printf 'Notes 3\r\n' > "$demo/src/notes/notes.txt"
pack_tool() {
  "$pack" auto --id 201 --name "Sample Tool" --dest 'C:\Tools\Sample' --src "$demo/src/tool" \
    --out "$demo/www" --program install.bat --update-id 1 --cleanup --part-size 16K |
    sed -n 's/^index-digest=//p'
}
tool_digest=$(pack_tool)
notes_digest=$("$pack" auto --id 202 --name "Notes" --dest 'C:\Program Files (x86)\Notes' \
  --src "$demo/src/notes" --out "$demo/www" --program setup.bat --update-id 1 |
  sed -n 's/^index-digest=//p')
echo "  item 201 (Sample Tool): $(find "$demo/www/Corvane/dist/auto/201" -type f | wc -l) part(s), index digest $tool_digest"
echo "  item 202 (Notes):       $(find "$demo/www/Corvane/dist/auto/202" -type f | wc -l) part(s), index digest $notes_digest"

echo "== Product targets at the gateway, with the policies that decide whether each is installed"
platform=$("$host" platform | grep -m1 -E '\.10\.0\.x64\.{6}$') || fail "no platform string of this machine"
policy() {  # FILE FOLDER: installed when FOLDER\FILE exists
  printf '<polProduct><flatform01>%s</flatform01><installed><expression><fileExists1><fileName>%s</fileName><path>%s</path></fileExists1></expression></installed></polProduct>' \
    "$platform" "$1" "$2"
}
"$gatewayctl" target add --db "$demo/gateway.db" --dist 201 --name "Sample Tool" --update-id 1 \
  --policy "$(policy license.key 'C:\Tools\Sample')" >/dev/null
"$gatewayctl" target add --db "$demo/gateway.db" --dist 202 --name "Notes" --update-id 1 \
  --policy "$(policy notes.exe '%csidl_program_files%\Notes')" >/dev/null
echo "  201 Sample Tool: installed when C:\\Tools\\Sample\\license.key exists (it does not: missing)"
echo "  202 Notes:       installed when %csidl_program_files%\\Notes\\notes.exe exists (it does)"
mkdir -p "$drive_c/Program Files (x86)/Notes"
printf 'MZ' > "$drive_c/Program Files (x86)/Notes/notes.exe"

echo "== The host agent: automatic distribution of both items from servers 127.0.0.2 (nothing"
echo "   listens there) and 127.0.0.1; the progress dialog the module starts (cvdtdlg.exe) draws"
echo "   its view on the same terminal"
items() { echo "EQ0000000001|%201|*Sample Tool|*$1|&202|*Notes|*$notes_digest|%127.0.0.2|&127.0.0.1"; }
agent_start
say "adist-func \"$(items "$tool_digest")\" \"3|%60|%Y|%0\""
expect_status 201 060
expect_status 202 060
tool_dir="$drive_c/Tools/Sample"
runs="$drive_c/Tools/sample-tool-runs.txt"
[ "$(wc -l < "$runs" 2>/dev/null)" = 1 ] || fail "Sample Tool's install.bat did not run once"
! grep -q 'GET /Corvane/dist/auto/202' "$demo/http.log" || fail "Notes was fetched although installed"
[ ! -e "$drive_c/Program Files (x86)/Notes/notes.txt" ] || fail "Notes was placed although installed"
trace="$modules/cvdt_$(date +%Y%m%d).log"
echo "  failover, from the trace log:"
awk '/cvfADistFunc:/ { on = 1 } on && /NDownload::connect|cannot connect/' "$trace" | head -n 3 |
  tee "$demo/failover.txt" | sed 's/^/    /'
grep -q 'connect failed.*127\.0\.0\.2' "$demo/failover.txt" || fail "no attempt at the dead server 127.0.0.2"
grep -q 'connect success.*127\.0\.0\.1' "$demo/failover.txt" || fail "no failover to 127.0.0.1"
echo "  Sample Tool's folder:"
(cd "$tool_dir" && find . -type f | sort | sed 's/^/    /')
echo "  Notes: nothing fetched, nothing placed (the product is installed)"

echo
echo "== One file of Sample Tool changes on the server and old.txt leaves the package; the"
echo "   operator commands the item again"
head -c 96K /dev/urandom > "$demo/src/tool/data.bin"
rm "$demo/src/tool/old.txt"
tool_digest=$(pack_tool)
requests_before=$(wc -l < "$demo/http.log")
say "adist-cmd \"$(items "$tool_digest")\""
deadline=$((SECONDS + 120))
until [ "$(wc -l < "$runs")" = 2 ]; do
  ((SECONDS < deadline)) || fail "Sample Tool's install.bat did not run again after the update"
  sleep 0.1
done
expect_status 201 060
say "adist-stop"
agent_end
echo "  requests at the distribution server for the update:"
tail -n +"$((requests_before + 1))" "$demo/http.log" | grep -oE 'GET /Corvane/dist/auto/[^ ]*' |
  sed 's/^/    /' | tee "$demo/update-requests.txt"
! grep -vqE '/auto/201\.idx\.lgz|/auto/201/zip/data\.bin\.l' "$demo/update-requests.txt" ||
  fail "the update fetched more than the index and data.bin's parts"
grep -q 'data\.bin\.l' "$demo/update-requests.txt" || fail "the update did not fetch data.bin"
[ ! -e "$tool_dir/old.txt" ] || fail "the stale old.txt was not removed"
cmp -s "$tool_dir/data.bin" "$demo/src/tool/data.bin" || fail "data.bin was not updated in place"
echo "  Sample Tool's folder now (old.txt removed, data.bin replaced):"
(cd "$tool_dir" && find . -type f | sort | sed 's/^/    /')

echo
echo "== The automatic statuses as the gateway received them"
python3 - "$demo/gateway.db" <<'PY' | sed 's/^/  /'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for row in db.execute("SELECT dist_id, status, status_detail, dist_server_ip FROM a_equip_history"
                      " ORDER BY history_id"):
    print("%s  %s  %-12s %s" % tuple("" if v is None else v for v in row))
PY
echo "== What the progress dialog (cvdtdlg.exe) shows of the last published state"
"$modules/cvdtdlg.exe" --once 7E2A9F04B13C | sed 's/^/  /' || fail "the dialog could not read the published state"
