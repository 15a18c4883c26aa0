#!/bin/sh
# The outside work of one connect, without the client: the path-MTU probe's
# don't-fragment pings (one per payload given), the pause before the DNS
# check, and one lookup of the chat domain against a local responder.
#
#   baseline.sh <ping> <nslookup> <relay> <domain> <dns-port> <payload>...
set -e
ping=$1 nslookup=$2 relay=$3 domain=$4 port=$5
shift 5
for payload in "$@"; do
  "$ping" -n -c 1 -W 1 -M do -s "$payload" -- "$relay" >/dev/null
done
sleep 0.8
"$nslookup" -port="$port" "$domain" 127.0.0.1 >/dev/null
