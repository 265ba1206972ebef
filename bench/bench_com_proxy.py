"""Round trip of one cross-thread call through a marshaled CQGCEL proxy.

The owner thread makes the CQGCEL, times plain calls on it from its own thread, then pumps as the
bridge's CEL thread does (MsgWaitForMultipleObjects + PumpWaitingMessages) while the main thread
times the same calls through the proxy. Prints the median of each and the ratio; then the same
for calls spaced 1 ms apart, each of which finds the owner asleep in its wait (and both threads'
caches cold, so these are compared with plain calls spaced the same way).

    .venv/bin/python bench/bench_com_proxy.py [calls]
"""
import statistics
import sys
import threading
import time

import pythoncom
import win32com.client
import win32event

from report_rows import report_row

CALLS = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
WARM_UP = 500
SPACED_CALLS = 2000
TARGET_US = 20.0  # median cross-thread round trip, calls back to back


def timed(operation, count, pause=0.0):
    clock = time.perf_counter_ns
    samples = []
    for _ in range(count):
        if pause:
            time.sleep(pause)
        start = clock()
        operation()
        samples.append(clock() - start)
    return samples


def operations(cel):
    configuration = cel.APIConfiguration
    return {
        "property read (APIConfiguration.ReadyStatusCheck)": lambda: configuration.ReadyStatusCheck,
        "method call (Shutdown())": cel.Shutdown,
    }


def main():
    shutdown = win32event.CreateEvent(None, 0, 0, None)
    ready = threading.Event()
    shared = {}

    def owner():
        pythoncom.CoInitialize()
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        shared["same_thread"], shared["same_thread_spaced"] = {}, {}
        for name, operation in operations(cel).items():
            timed(operation, WARM_UP)
            shared["same_thread"][name] = timed(operation, CALLS)
            shared["same_thread_spaced"][name] = timed(operation, SPACED_CALLS, pause=0.001)
        shared["stream"] = pythoncom.CoMarshalInterThreadInterfaceInStream(
            pythoncom.IID_IDispatch, cel)
        ready.set()
        while True:
            result = win32event.MsgWaitForMultipleObjects(
                (shutdown,), 0, win32event.INFINITE, win32event.QS_ALLEVENTS)
            if result == win32event.WAIT_OBJECT_0:
                break
            pythoncom.PumpWaitingMessages()
        del cel
        pythoncom.CoUninitialize()

    thread = threading.Thread(target=owner, name="cel_threadfunc")
    thread.start()
    if not ready.wait(30):
        raise RuntimeError("the owner thread did not make its CQGCEL")
    proxy = win32com.client.Dispatch(
        pythoncom.CoGetInterfaceAndReleaseStream(shared["stream"], pythoncom.IID_IDispatch))
    back_to_back, spaced = {}, {}
    for name, operation in operations(proxy).items():
        timed(operation, WARM_UP)
        back_to_back[name] = timed(operation, CALLS)
        spaced[name] = timed(operation, SPACED_CALLS, pause=0.001)
    win32event.SetEvent(shutdown)
    thread.join()

    for title, through_proxy, plain, target in (
            (f"{CALLS} calls back to back", back_to_back, shared["same_thread"], TARGET_US),
            (f"{SPACED_CALLS} calls 1 ms apart", spaced, shared["same_thread_spaced"], None)):
        print(f"{title}, median round trip")
        for name in through_proxy:
            cross = statistics.median(through_proxy[name]) / 1000
            same = statistics.median(plain[name]) / 1000
            print(f"  {name}: cross-thread {cross:.2f} us, same thread {same:.2f} us, "
                  f"ratio {cross / same:.1f}x")
            report_row(f"proxy {name.split(' (')[0]}, {title}", f"{cross:.2f} us median",
                       f"same thread {same:.2f} us", cross / same,
                       None if target is None else f"< {target:g} us",
                       None if target is None else cross < target)


if __name__ == "__main__":
    main()
