-- wrk script: the program's "check" post, as it sends it, on every request.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded; charset=UTF-8"
if os.getenv("QUILLET_BENCH_CLOSE") == "1" then
  -- The program's secure client asks for "Connection: close": one connection per check.
  wrk.headers["Connection"] = "close"
end
local delay_ms = tonumber(os.getenv("QUILLET_BENCH_DELAY_MS") or "0")
if delay_ms > 0 then
  -- A modest rate: each connection waits this long before each request (not counted in latency).
  delay = function() return delay_ms end
end
wrk.body = "cmd=check&appname=KALMIRO+-+Quillet&version=3.1" ..
  "&os=Windows+10+%28Version+10.0%2C+Build+19045%2C+64-bit+Edition%29" ..
  "&local=zh-CN&guid=%7B6F1E2D3C-0000-4A5B-9C8D-7E6F5A4B3C2D%7D&howmany=1"

done = function(summary, latency, requests)
  local errors = summary.errors
  io.write(string.format("RESULT answered=%d non2xx=%d socket_errors=%d seconds=%.2f p50_ms=%.3f p99_ms=%.3f\n",
    summary.requests, errors.status, errors.connect + errors.read + errors.write + errors.timeout,
    summary.duration / 1e6, latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end
