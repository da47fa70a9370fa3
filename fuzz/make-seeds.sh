#!/usr/bin/env bash
# Writes the seed inputs under fuzz/corpus/ (committed; run again after changing this script).
# Uploads are built as the television sends them: the envelope gzipped like gzopen "wb" does
# (level 6, no name, no time), its CRC-32 in the "crc32" header, the multipart part "file".
set -euo pipefail
cd "$(dirname "$0")"
c=corpus
rm -rf "$c" && mkdir -p "$c"/{xmlparser,libxml,gzip,string_to_integer,url_numbers,collector_upload}

duid=GMCDE5XKQLRNA
item() { # index selected question answer
  printf '<item index="%s" selected="%s">\n<question><![CDATA[%s]]></question>\n<answer><![CDATA[%s]]></answer>\n</item>\n' "$@"
}
envelope=$(
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<survey>\n<deviceinfo>\n<DUID>%s</DUID>\n' "$duid"
  printf '<LocalSet>KTM_EU_KDEU</LocalSet>\n<Country>DE</Country>\n<Model_Name>QE55Q80TV</Model_Name>\n'
  printf '<Firmware_Version>T-KTMDEUC-1234.5</Firmware_Version>\n</deviceinfo>\n<result>'
  item 1 1 "1. Was your problem solved by the remote support service?" "Yes"
  item 2 2 "2. Overall, how satisfied are you with the remote support service?" "Satisfied"
  item 3 3 "3. How likely are you to recommend our remote support?<br>(0 = not at all likely, 9 = extremely likely)" "7"
  item 4 1 "4. How satisfied are you with the support agent's explanations?" "Very satisfied"
  item 5 4 "5. How satisfied are you with the time it took to solve your problem?" "Neutral"
  printf '</result>\n</survey>\n'
)
printf '%s' "$envelope" > envelope.tmp
gzip -n -6 -c envelope.tmp > envelope.gz.tmp
# The CRC-32 of the gzip file: gzip's trailer of a second gzip over it holds just that.
crc=$(gzip -n -c envelope.gz.tmp | tail -c 8 | od -An -tu4 -N4 --endian=little | tr -d ' ')

# Server replies and other documents.
printf '<?xml version="1.0" encoding="UTF-8"?>\n<rsp stat="ok"><crc value="%s"/></rsp>\n' "$crc" > $c/xmlparser/reply-ok
printf '<?xml version="1.0" encoding="UTF-8"?>\n<rsp stat="badcrc" msg="crc32 header 1 does not match the file&apos;s 2"><crc value="2"/></rsp>\n' > $c/xmlparser/reply-refused
printf '<r xmlns="urn:d" xmlns:n="urn:tav"><n:a n:k="1" k="2">x<!-- c --><?pi d?><b/>&amp;</a></r>' > $c/xmlparser/namespaces
cp envelope.tmp $c/xmlparser/envelope
{ printf '0'; printf '<?xml version="1.0"?>\n<config><!-- kept --><i name="SurveySatisfactionSupported">0</i><i name="Custom"/>\n</config>\n'; } > $c/libxml/config-string
{ printf '1'; cat envelope.tmp; } > $c/libxml/envelope-memory
{ printf '0'; cat $c/xmlparser/namespaces; } > $c/libxml/namespaces-string
# A standalone declaration: it follows the encoding in what is written.
{ printf '0'; printf '<?xml version="1.0" standalone="yes"?><config><i name="a"/></config>\n'; } > $c/libxml/standalone-string
# A namespace name holding "<" (escaped in the input): libxml2 writes it back unescaped.
{ printf '0'; printf '<r xmlns:n="urn:a&lt;b"><n:a k="1">x</n:a></r>'; } > $c/libxml/namespace-name-lt-string

cp envelope.gz.tmp $c/gzip/envelope.gz
printf 'one line of the survey\n' | gzip -n -9 -c > $c/gzip/line.gz
{ printf 'a' | gzip -n -c; printf 'b' | gzip -n -c; } > $c/gzip/two-members.gz

for s in ' 42abc' '-2147483648' '2147483647' '99999999999' '+7' '0x10' $'\t-0012 '; do
  printf '%s' "$s" > "$c/string_to_integer/$(printf '%s' "$s" | od -An -tx1 | tr -d ' \n')"
done

printf 's://h:8080/a/b?x=1' > $c/url_numbers/url-port
printf 'https://127.0.0.1:8443/survey' > $c/url_numbers/url-https
printf '/survey' > $c/url_numbers/path-only
printf 'ab12-34cd' > $c/url_numbers/numbers
printf 'T-KTMDEUC-1234.5' > $c/url_numbers/firmware

# Uploads: mode byte, header lines, blank line, body.
boundary=------------------------d74496d66958873e
headers="pincode: 4711
duid: $duid
category: TAVAS
sessionid: S-20261204-0001
source: survey
Date: 2025-11-20
Year: 21
Accept: */*"
{
  printf '0Content-Type: multipart/form-data; boundary=%s\ncrc32: %s\n%s\n\n' "$boundary" "$crc" "$headers"
  printf -- '--%s\r\nContent-Disposition: form-data; name="file"; filename="Survey_20261204_145431_QE55Q80TV.zip"\r\n' "$boundary"
  printf 'Content-Type: application/octet-stream\r\n\r\n'
  cat envelope.gz.tmp
  printf '\r\n--%s--\r\n' "$boundary"
} > $c/collector_upload/raw-upload
{ printf '1%s\n\n' "$headers"; cat envelope.gz.tmp; } > $c/collector_upload/file-gzip
{ printf '2%s\n\n' "$headers"; cat envelope.tmp; } > $c/collector_upload/file-envelope
{ printf '2%s\n\n' "${headers/duid: $duid/duid: OTHER}"; cat envelope.tmp; } > $c/collector_upload/file-envelope-other-duid

rm -f envelope.tmp envelope.gz.tmp
echo "seeds written under $(pwd)/$c"
