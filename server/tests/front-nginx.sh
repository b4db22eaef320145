#!/usr/bin/env bash
# Lays out a private nginx in DIR as README.md ("Behind nginx") tells a maker, for the tests and
# the benchmarks; run it with  nginx -p DIR -c DIR/nginx.conf -e stderr  (it stays in the
# foreground: "daemon off", its pid in DIR/nginx.pid).
#
#   front-nginx.sh main DIR
#       DIR/nginx.conf: the two lines README.md asks of the main nginx.conf (worker_rlimit_nofile,
#       worker_connections), and what a private prefix needs (pid, log and temporary files in DIR),
#       including DIR/conf.d/*.conf
#   front-nginx.sh quillet DIR SERVICE_PORT HTTP_PORT HTTPS_PORT CERT KEY [HEADER_TIMEOUT]
#       "main", and DIR/conf.d/quillet.conf: a copy of server/deploy/nginx-quillet.conf with the
#       values marked EDIT filled in (listening on 127.0.0.1 only) and, when given, the header
#       time-out, one of the values marked MAY TUNE
# Fails when a value to fill in is not found exactly once in the shipped file.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SHIPPED="$HERE/../deploy/nginx-quillet.conf"

command=${1:?usage: front-nginx.sh main|quillet DIR ...}
dir=${2:?usage: front-nginx.sh main|quillet DIR ...}
mkdir -p "$dir/conf.d" "$dir/temp"
dir=$(cd "$dir" && pwd)

cat >"$dir/nginx.conf" <<CONF
# As README.md tells a maker to set in /etc/nginx/nginx.conf:
worker_rlimit_nofile 8192;
events {
    worker_connections 4096;
}
# The rest stands in for Debian's nginx.conf, in a private prefix.
worker_processes auto;
daemon off;
pid "$dir/nginx.pid";
error_log stderr;
http {
    access_log "$dir/access.log";
    client_body_temp_path "$dir/temp/body";
    proxy_temp_path "$dir/temp/proxy";
    fastcgi_temp_path "$dir/temp/fastcgi";
    uwsgi_temp_path "$dir/temp/uwsgi";
    scgi_temp_path "$dir/temp/scgi";
    include "$dir/conf.d/*.conf";
}
CONF

[[ $command == main ]] && exit 0
[[ $command == quillet ]] || { echo "front-nginx.sh: unknown command $command" >&2; exit 2; }
service_port=${3:?service port}
http_port=${4:?HTTP port}
https_port=${5:?HTTPS port}
cert=${6:?certificate}
key=${7:?key}
header_timeout=${8:-}

text=$(cat "$SHIPPED")
# fill OLD NEW: replaces the one occurrence of OLD.
fill() {
  local count
  count=$(grep -cF -- "$1" <<<"$text" || true)
  if [[ $count -ne 1 ]]; then
    echo "front-nginx.sh: \"$1\" is in $SHIPPED $count times, expected once" >&2
    exit 1
  fi
  text=${text/"$1"/"$2"}
}
fill "server 127.0.0.1:8080;" "server 127.0.0.1:$service_port;"
fill "listen 443 ssl;" "listen 127.0.0.1:$https_port ssl;"
fill "listen 80;" "listen 127.0.0.1:$http_port;"
fill "server_name updates.example.org;" "server_name localhost;"
fill "/etc/quillet-service/fullchain.pem;" "\"$cert\";"
fill "/etc/quillet-service/privkey.pem;" "\"$key\";"
if [[ -n $header_timeout ]]; then fill "client_header_timeout 10s;" "client_header_timeout $header_timeout;"; fi
printf '%s\n' "$text" >"$dir/conf.d/quillet.conf"
