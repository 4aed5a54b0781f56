#!/usr/bin/env python3
"""A client that queues a command while the broker is down and sends it once
the broker is back, as paho-mqtt does with QoS 1 messages.

    stale_publisher.py PORT TOPIC FOLDER

Goes on when FOLDER/broker-down and then FOLDER/broker-up exist; reports
"connected", "queued", "delivered" on standard output.
"""
import json
import os
import sys
import threading
import time

import paho.mqtt.client as mqtt

port, topic, folder = int(sys.argv[1]), sys.argv[2], sys.argv[3]
client = mqtt.Client(mqtt.CallbackAPIVersion.VERSION1) if hasattr(mqtt, "CallbackAPIVersion") \
    else mqtt.Client()
connected, disconnected, published = threading.Event(), threading.Event(), threading.Event()
client.on_connect = lambda c, u, f, rc: connected.set()
client.on_disconnect = lambda c, u, rc: disconnected.set()
client.on_publish = lambda c, u, mid: published.set()


def wait_file(name):
    path = os.path.join(folder, name)
    while not os.path.exists(path):
        time.sleep(0.02)


client.connect("127.0.0.1", port, keepalive=5)
client.loop_start()
connected.wait(10)
print("connected", flush=True)

wait_file("broker-down")
disconnected.wait(10)
client.loop_stop()
message = {"drive": "forward", "t": int(time.time() * 1000), "id": "late"}
info = client.publish(topic, json.dumps(message), qos=1)
print("queued", info.rc, flush=True)

wait_file("broker-up")
client.reconnect()
client.loop_start()
print("delivered" if published.wait(10) else "not delivered", flush=True)
client.disconnect()
client.loop_stop()
