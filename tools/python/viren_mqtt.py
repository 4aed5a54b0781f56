#!/usr/bin/env python3
"""Watch and drive a VIREN car from another computer through an MQTT broker.

VIREN runs with -s on the car's computer, and viren-bridge there connects it
to the broker. MQTT needs a client library; the standard library has none.
This example uses paho-mqtt, which Debian packages:

    sudo apt-get install python3-paho-mqtt       (or: pip install paho-mqtt)

    python3 viren_mqtt.py --broker labserver --name car1 watch
    python3 viren_mqtt.py --broker labserver --name car1 drive forward
    python3 viren_mqtt.py --broker labserver --name car1 send 1 0      # code 1, parameter 0: stop

In your own program:

    import viren_mqtt
    car = viren_mqtt.Car("labserver", 1883, "car1")
    car.on_position = lambda p: print(p["x"], p["y"], p["heading"])
    print(car.drive("forward"))     # {"result": "taken", ...}

Every command carries its sending time "t" (milliseconds since 1970), so
that the bridge refuses it when it arrives late, for instance after the
broker was down and this client sent what it had queued.
"""
import argparse
import itertools
import json
import sys
import threading
import time

try:
    import paho.mqtt.client as mqtt
except ImportError:  # pragma: no cover - depends on the machine
    sys.exit("viren_mqtt.py needs paho-mqtt: sudo apt-get install python3-paho-mqtt")


def _new_client():
    # paho-mqtt 2 asks which callback signatures the program uses.
    if hasattr(mqtt, "CallbackAPIVersion"):
        return mqtt.Client(mqtt.CallbackAPIVersion.VERSION1)
    return mqtt.Client()


class Car:
    """One car on the broker: its latest position, status and ball, and commands."""

    def __init__(self, host="localhost", port=1883, name="car", username=None, password=None):
        self.topic = "viren/%s/" % name
        self.position = self.status = self.ball = None
        self.online = None
        self.on_position = None
        self._acks = {}
        self._ids = itertools.count(1)
        self._lock = threading.Condition()
        self._client = _new_client()
        if username:
            self._client.username_pw_set(username, password)
        self._client.on_connect = self._connected
        self._client.on_message = self._message
        self._client.connect(host, port, keepalive=10)
        self._client.loop_start()
        with self._lock:
            if not self._lock.wait_for(lambda: self.online is not None, timeout=5):
                raise RuntimeError("no answer from the broker or no bridge for this car")

    def _connected(self, client, userdata, flags, rc):
        client.subscribe(self.topic + "#", qos=1)

    def _message(self, client, userdata, message):
        leaf = message.topic[len(self.topic):]
        text = message.payload.decode("utf-8", "replace")
        with self._lock:
            if leaf == "online":
                self.online = text == "true"
            elif leaf in ("position", "status", "ball") and text:
                setattr(self, leaf, json.loads(text))
                if leaf == "position" and self.on_position:
                    self.on_position(self.position)
            elif leaf == "command/ack":
                ack = json.loads(text)
                self._acks[ack.get("id")] = ack
            self._lock.notify_all()

    def command(self, timeout=3.0, **fields):
        """Sends one command ({"drive": "forward"}, {"code": 1, "param": 0} ...) and
        returns the bridge's answer, or None when none came in time."""
        ident = "py%d" % next(self._ids)
        fields.update(t=int(time.time() * 1000), id=ident)
        self._client.publish(self.topic + "command", json.dumps(fields), qos=1)
        with self._lock:
            self._lock.wait_for(lambda: ident in self._acks, timeout=timeout)
            return self._acks.pop(ident, None)

    def drive(self, what):
        return self.command(drive=what)

    def close(self):
        self._client.disconnect()
        self._client.loop_stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--broker", default="localhost", help="host or host:port")
    parser.add_argument("--name", default="car", help="the car's name (viren-bridge --name)")
    sub = parser.add_subparsers(dest="what", required=True)
    sub.add_parser("watch", help="print every position until Ctrl+C")
    drive = sub.add_parser("drive", help="stop, forward, reverse, straight, left, right ...")
    drive.add_argument("how")
    send = sub.add_parser("send", help="a command code and its parameter")
    send.add_argument("code", type=int)
    send.add_argument("param", type=int)
    args = parser.parse_args()

    host, _, port = args.broker.partition(":")
    car = Car(host, int(port or 1883), args.name)
    try:
        if args.what == "watch":
            car.on_position = lambda p: print(json.dumps(p), flush=True)
            while True:
                time.sleep(1)
        ack = car.drive(args.how) if args.what == "drive" else car.command(code=args.code,
                                                                           param=args.param)
        print(json.dumps(ack) if ack else "no answer from the bridge")
        return 0 if ack and ack.get("result") == "taken" else 1
    except KeyboardInterrupt:
        return 0
    finally:
        car.close()


if __name__ == "__main__":
    sys.exit(main())
