#!/usr/bin/env python3
"""A TCP proxy that hands every answer of the server on DELAY seconds late, in order, as a radio
on a slow serial link or a busy shared rigctld does; requests go through at once. SIGUSR2 makes
it answer at once (a client sets up in a moment), SIGUSR1 slow again.
Usage: slow_proxy.py LISTEN SERVER_PORT DELAY (on 127.0.0.1, until killed)"""
import asyncio, signal, sys

slow = [True]


async def pipe(reader, writer, delay):
    loop, pending = asyncio.get_running_loop(), asyncio.Queue()

    async def late():
        while (item := await pending.get()) is not None:
            await asyncio.sleep(max(0.0, item[0] - loop.time()))
            writer.write(item[1])
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(late())
    while data := await reader.read(4096):
        pending.put_nowait((loop.time() + (delay if slow[0] else 0.0), data))
    pending.put_nowait(None)
    await sender


async def main(listen, server_port, delay):
    async def client(reader, writer):
        up_reader, up_writer = await asyncio.open_connection("127.0.0.1", server_port)
        await asyncio.gather(pipe(reader, up_writer, 0.0), pipe(up_reader, writer, delay), return_exceptions=True)

    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGUSR1, lambda: slow.__setitem__(0, True))
    loop.add_signal_handler(signal.SIGUSR2, lambda: slow.__setitem__(0, False))
    async with await asyncio.start_server(client, "127.0.0.1", listen) as server:
        await server.serve_forever()


asyncio.run(main(int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])))
