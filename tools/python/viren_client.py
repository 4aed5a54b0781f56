#!/usr/bin/env python3
"""Watch and drive VIREN's car from Python, with the standard library only.

VIREN started with -s keeps the car's position, drive state and ball in the
shared-memory blocks "Position", "Status" and "Ball" and takes commands from
"Command". Each is one 12-byte record, little-endian, byte 0 a state byte
(1: written by VIREN / a new command; 2: command taken).

    python3 viren_client.py position      # position state=1 x=.. y=.. turns=.. heading=..
    python3 viren_client.py status
    python3 viren_client.py ball
    python3 viren_client.py send 1 1      # drive forward (COMMAND_DRIVE, 1)

In your own program:

    from viren_client import COMMAND_DRIVE, read_position, send_command
    state, x, y, turns, heading = read_position()
    send_command(COMMAND_DRIVE, 1)  # forward
"""
import argparse
import os
import struct
import sys
import time
from multiprocessing import resource_tracker, shared_memory

QUAD = struct.Struct("<B3xhhhh")  # state, then four 16-bit values at 4, 6, 8, 10
STATUS = struct.Struct("<B3xH")
RECORD_EMPTY, RECORD_NEW, RECORD_TAKEN = 0, 1, 2

# Command codes, and the parameters of COMMAND_EXTERNAL (a test keeps them
# equal to src/api/InterfaceRecords.h).
COMMAND_DRIVE = 1  # parameter: drive command (0 stop, 1 forward, 2 reverse, 4 left, 5 right ...)
COMMAND_SOUND_REPEAT = 2  # parameter: sound number
COMMAND_SOUND_PREPARE = 3  # parameter: sound number
COMMAND_SOUND = 8  # parameter: sound number played once, or -number to stop it
COMMAND_TARGET = 10  # parameter: y << 16 | x, or -1 to stop following
COMMAND_BALL = 11  # parameter: distance << 16 | ball mode (0 off, 1 see, 2 follow, 3 avoid)
COMMAND_PROGRAM_FILE = 12  # the program file named by the clipboard's text
COMMAND_EXTERNAL = 100  # parameter: one of EXTERNAL_*
COMMAND_EXTERNAL_WINDOW = 102  # parameter: window to draw the camera picture into
EXTERNAL_OFF, EXTERNAL_ON, EXTERNAL_STOP_PROGRAM, EXTERNAL_START_PROGRAM = 0, 1, 10, 11
EXTERNAL_CONTOUR_BOX = 103


def open_block(name, prefix=""):
    """Attach to a block VIREN created, without ever removing it."""
    if sys.version_info >= (3, 13):
        return shared_memory.SharedMemory(name=prefix + name, track=False)
    block = shared_memory.SharedMemory(name=prefix + name)
    # Before Python 3.13 attaching registers the block with the resource
    # tracker, which removes it when this script ends: VIREN's block would be
    # gone for every other program.
    resource_tracker.unregister(block._name, "shared_memory")
    return block


def read_record(name, layout, prefix=""):
    block = open_block(name, prefix)
    try:
        return layout.unpack_from(block.buf, 0)
    finally:
        block.close()


def read_position(prefix=""):
    """(state, x, y, turn count, heading in degrees 0..360, 180 = pointing right)."""
    return read_record("Position", QUAD, prefix)


def read_status(prefix=""):
    """(state, drive state bits: FORWARD 0x02 REVERSE 0x04 LEFT 0x08 RIGHT 0x10 TURBO 0x20 AUTO 0x40)."""
    return read_record("Status", STATUS, prefix)


def read_ball(prefix=""):
    """(state, left, top, right, bottom) of the recognised ball."""
    return read_record("Ball", QUAD, prefix)


def send_command(code, parameter, prefix="", timeout=3.0):
    """Posts a command once the previous one was taken; True when VIREN took it in time."""
    block = open_block("Command", prefix)
    try:
        deadline = time.monotonic() + timeout
        while block.buf[0] == RECORD_NEW:  # the previous command is still waiting
            if time.monotonic() > deadline:
                return False
            time.sleep(0.005)
        struct.pack_into("<ii", block.buf, 4, code, parameter)
        block.buf[0] = RECORD_NEW  # the mark last, so VIREN never sees it with the old command
        while block.buf[0] == RECORD_NEW:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.005)
        return True
    finally:
        block.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", default=os.environ.get("VIREN_SHM_PREFIX", ""),
                        help="names of a VIREN run with that prefix (test runs only)")
    parser.add_argument("what", choices=["position", "status", "ball", "send"])
    parser.add_argument("values", nargs="*", type=int, help="send: CODE PARAM")
    args = parser.parse_args()
    try:
        if args.what == "position":
            s, x, y, turns, heading = read_position(args.prefix)
            print(f"position state={s} x={x} y={y} turns={turns} heading={heading}")
        elif args.what == "status":
            s, bits = read_status(args.prefix)
            print(f"status state={s} drive=0x{bits:04X}")
        elif args.what == "ball":
            s, left, top, right, bottom = read_ball(args.prefix)
            print(f"ball state={s} left={left} top={top} right={right} bottom={bottom}")
        else:
            if len(args.values) != 2:
                parser.error("send needs CODE and PARAM")
            if not send_command(args.values[0], args.values[1], args.prefix):
                print("viren_client: the command was not taken in time", file=sys.stderr)
                return 3
            print(f"command {args.values[0]} {args.values[1]} taken")
    except FileNotFoundError:
        print("viren_client: VIREN's program interface is not running (start VIREN with -s)",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
