#!/usr/bin/python3
"""Whole-process receive over a slow link: the same mails and the same local
Dovecot as receive_bench.py, reached through a proxy that holds every chunk
for half the round trip in each direction (order kept, no bandwidth limit).

  receive_link_bench.py [--tool PATH] [--rounds N] [--slow-rounds N]
                        [--rtt MS,MS] [--mails N]

Contenders, alternating in each round:
  quillfern-box receive   the program's receive run (APOP)
  fetchmail               --bsmtp /dev/null, APOP
  plain POP3 loop         Python's poplib: RETR then DELE per mail
  pipelined floor         a minimal client that sends APOP and STAT, then
                          every RETR, every DELE and QUIT in one burst

Cases: 200 mails of 2 KB and 200 of 30 KB (ISO-2022-JP) at each round trip
(20 ms and 200 ms; rounds at 200 ms default to one: fetchmail and the loop
take minutes there). Prints seconds (median of the rounds) and ratios.
These are measurements, not tests: nothing here passes or fails.
"""
import argparse
import asyncio
import os
import statistics
import sys
import tempfile
import shutil
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import receive_bench  # noqa: E402  (the mails, the servers, the program folder)



class DelayingProxy:
    """Listens on 127.0.0.1 (a free port) and forwards each connection to the
    target port, every chunk delivered half a round trip after it arrived."""

    def __init__(self, target_port):
        self.target_port = target_port
        self.delay = 0.0
        self.loop = asyncio.new_event_loop()
        ready = threading.Event()
        self.thread = threading.Thread(target=self._run, args=(ready,), daemon=True)
        self.thread.start()
        ready.wait()

    def _run(self, ready):
        asyncio.set_event_loop(self.loop)
        self.server = self.loop.run_until_complete(
            asyncio.start_server(self._connection, "127.0.0.1", 0))
        self.port = self.server.sockets[0].getsockname()[1]
        ready.set()
        self.loop.run_forever()

    async def _pipe(self, reader, writer):
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, chunk = await queue.get()
                if chunk is None:
                    break
                wait = due - self.loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                writer.write(chunk)
                await writer.drain()
            writer.close()

        delivering = self.loop.create_task(deliver())
        try:
            while True:
                chunk = await reader.read(1 << 16)
                queue.put_nowait((self.loop.time() + self.delay / 2, chunk or None))
                if not chunk:
                    break
        except ConnectionError:
            queue.put_nowait((0, None))
        try:
            await delivering
        except ConnectionError:
            pass

    async def _connection(self, client_reader, client_writer):
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1",
                                                                     self.target_port)
        await asyncio.gather(self._pipe(client_reader, server_writer),
                             self._pipe(server_reader, client_writer))


class ThroughProxy:
    """The servers as the contenders see them: the POP3 port is the proxy's."""

    def __init__(self, servers, port):
        self.env = dict(servers.env, QF_POP3_PORT=str(port))


def contenders(args, work, servers, proxy):
    seen = ThroughProxy(servers, proxy.port)
    folder = receive_bench.program_folder(work, seen)
    home, rc = receive_bench.fetchmail_rc(work, seen)
    env = seen.env
    login = [env["QF_MAIL_HOST"], env["QF_POP3_PORT"], env["QF_MAIL_USER"],
             env["QF_MAIL_PASSWORD"]]
    fetchmail_env = dict(os.environ, FETCHMAILHOME=home, HOME=home)
    run = receive_bench.run_process
    return folder, {
        "quillfern-box receive": lambda: run([args.tool, "--folder", folder, "receive"]),
        "fetchmail": lambda: run(["fetchmail", "--nosyslog", "--silent", "-f", rc,
                                  "--bsmtp", "/dev/null"], env=fetchmail_env),
        "plain POP3 loop": lambda: run([sys.executable, "-c", receive_bench.PLAIN_LOOP,
                                        *login]),
        "pipelined floor": lambda: run([sys.executable, "-c", receive_bench.FLOOR_CLIENT, *login]),
    }


def one_case(label, mails, rounds, folder, runs, servers):
    times = {name: [] for name in runs}
    for _ in range(rounds):
        for name, start in runs.items():
            receive_bench.empty_boxes(folder)
            servers.fill(mails)
            seconds, _, code, errors = start()
            left = servers.waiting()
            if left != 0 or code not in (0, 1):
                print(f"   {name}: exit {code}, {left} mails left: {errors.strip()[:300]}")
            times[name].append(seconds)
    median = {name: statistics.median(values) for name, values in times.items()}
    ours = median["quillfern-box receive"]
    print(f"{label}:")
    for name, seconds in median.items():
        print(f"   {name:24s} {seconds:8.2f} s   (rounds: " +
              ", ".join(f"{s:.2f}" for s in times[name]) + ")")
    print(f"   quillfern-box: {ours / median['pipelined floor']:.2f} × the pipelined floor, "
          f"{median['fetchmail'] / ours:.1f} × faster than fetchmail, "
          f"{median['plain POP3 loop'] / ours:.1f} × faster than the plain loop")
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=os.path.join(receive_bench.ROOT, "build", "bench",
                                                       "boxtool", "quillfern-box"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--slow-rounds", type=int, default=1,
                        help="rounds at round trips of 100 ms and more")
    parser.add_argument("--rtt", default="20,200", help="round trips in ms")
    parser.add_argument("--mails", type=int, default=200)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="qf-link-bench-")
    os.chmod(work, 0o755)
    servers = receive_bench.Servers(work)
    proxy = DelayingProxy(int(servers.env["QF_POP3_PORT"]))
    try:
        folder, runs = contenders(args, work, servers, proxy)
        cases = [(f"{args.mails} × 2 KB", [receive_bench.japanese_mail(i, 2048)
                                           for i in range(1, args.mails + 1)]),
                 (f"{args.mails} × 30 KB", [receive_bench.japanese_mail(i, 30 * 1024)
                                            for i in range(1, args.mails + 1)])]
        for rtt in (int(ms) for ms in args.rtt.split(",")):
            proxy.delay = rtt / 1000
            rounds = args.slow_rounds if rtt >= 100 else args.rounds
            print(f"== receive at {rtt} ms round trip (median of {rounds})")
            for label, mails in cases:
                one_case(label, mails, rounds, folder, runs, servers)
    finally:
        servers.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
