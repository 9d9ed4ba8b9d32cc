"""The Python module against the C++ session API, a simulated receiver and wrong input.

The build passes the module's folder on PYTHONPATH, and the paths of the tool (whose `simulate`
command gives a simulated receiver on a pseudo-terminal), of the C++ example program and of the
bundled recordings in the environment.
"""
import datetime
import os
import subprocess
import threading

import pytest

import tolvik

SAMPLE = os.environ["TOLVIK_SAMPLE"]
SAMPLE_RAW = os.environ["TOLVIK_SAMPLE_RAW"]
# Generous limits: they only keep a broken library from hanging the suite.
LIMIT = 60


@pytest.fixture
def settings(tmp_path):
    return str(tmp_path / "settings.ini")


@pytest.fixture
def simulator():
    """A simulated receiver streaming the bundled sample; yields its device path."""
    process = subprocess.Popen([os.environ["TOLVIK_TOOL"], "simulate", "--rate", "40", SAMPLE],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        device = process.stdout.readline().strip()
        assert device.startswith("/dev/"), device
        yield device
    finally:
        process.terminate()
        process.wait(LIMIT)


def test_replay_gives_the_positions_of_the_cpp_api(settings):
    printed = subprocess.run([os.environ["TOLVIK_EXAMPLE"], SAMPLE], check=True, capture_output=True,
                             text=True, timeout=LIMIT).stdout.splitlines()
    replayed = [f"{e.latitude_deg:.9f} {e.longitude_deg:.9f} {e.altitude:.2f} m"
                for e in tolvik.replay(SAMPLE, settings_file=settings) if e.position_valid]
    assert len(printed) > 300
    assert replayed == printed


def test_epochs_carry_the_record_fields(settings):
    epochs = list(tolvik.replay(SAMPLE, receiver="Other", settings_file=settings))
    fixes = [e for e in epochs if e.position_valid]
    first = fixes[0]
    assert first.latitude == pytest.approx(first.latitude_deg * 3.141592653589793 / 180)
    assert first.fix_status in range(11)
    assert 0 <= first.utc_time < 86400
    assert first.satellites_used >= 4
    assert first.satellites and all(1 <= s.prn <= 255 for s in first.satellites)
    assert isinstance(first.status.nmea_status, list) and len(first.status.nmea_status) == 7
    assert first.time is None, "a recording does not tell its day"
    assert len(epochs) > len(fixes), "epochs without a position are delivered too"


def test_a_raw_log_replays_raw_epochs_through_a_session(settings):
    raw, ephemerides = [], []
    session = tolvik.Session(receiver="Ashtech", replay_file=SAMPLE_RAW, replay_mode="raw",
                             settings_file=settings)
    session.on_raw_epoch(raw.append)
    session.on_ephemeris(ephemerides.append)
    session.run()
    assert raw and all(r.num_sv == len(r.satellites) for r in raw)
    assert ephemerides and ephemerides[0].prn > 0


def test_a_live_session_delivers_epochs_on_another_thread(simulator, settings):
    fixes, threads = [], set()
    enough = threading.Event()

    def on_epoch(epoch):
        threads.add(threading.get_ident())
        if epoch.position_valid:
            fixes.append(epoch)
            if len(fixes) >= 5:
                enough.set()

    session = tolvik.Session(simulator, receiver="Ashtech", settings_file=settings)
    session.on_epoch(on_epoch)
    session.start()
    assert enough.wait(LIMIT), session.last_error
    session.stop()
    assert not session.running
    assert threading.get_ident() not in threads
    assert isinstance(fixes[0].time, datetime.datetime) and fixes[0].time.tzinfo is not None
    assert -90 <= fixes[0].latitude_deg <= 90


def test_stop_from_a_callback_ends_run(simulator, settings):
    seen = []
    session = tolvik.Session(simulator, receiver="Ashtech", settings_file=settings)

    def on_epoch(epoch):
        seen.append(epoch)
        if len(seen) == 3:
            session.stop()

    session.on_epoch(on_epoch)
    session.run()
    assert len(seen) == 3


def test_a_callback_exception_comes_back_from_run(settings):
    session = tolvik.Session(replay_file=SAMPLE, settings_file=settings)

    def on_epoch(epoch):
        raise KeyError("from the callback")

    session.on_epoch(on_epoch)
    with pytest.raises(KeyError, match="from the callback"):
        session.run()


def test_a_command_round_trip(simulator, settings):
    acknowledged = threading.Event()

    def on_epoch(epoch):
        if epoch.status.ack_received:
            acknowledged.set()

    session = tolvik.Session(simulator, receiver="CSI", settings_file=settings)
    session.on_epoch(on_epoch)
    session.start()
    assert session.receiver.implements_set_elev_mask()
    session.receiver.query_sat_elev_mask()
    session.receiver.set_sat_elev_mask(15)
    assert acknowledged.wait(LIMIT), session.last_error
    session.stop()


@pytest.mark.parametrize("make, message", [
    (lambda s: next(iter(tolvik.replay("/nonexistent/drive.log", settings_file=s))),
     "cannot open the recording /nonexistent/drive.log: No such file or directory"),
    (lambda s: tolvik.Session("/dev/ttyNOPE7", settings_file=s).start(),
     "cannot open /dev/ttyNOPE7: No such file or directory (is the receiver plugged in"),
    (lambda s: tolvik.Session("/dev/null", settings_file=s).start(), "/dev/null is not a serial device"),
    (lambda s: tolvik.Session("/dev/null", receiver="Ashtek", settings_file=s).start(),
     'unknown receiver "Ashtek"'),
    (lambda s: tolvik.Session(replay_file=SAMPLE, replay_mode="slow", settings_file=s), "replay_mode must be"),
])
def test_wrong_input_raises_a_clear_error(make, message, settings):
    with pytest.raises((tolvik.Error, ValueError)) as raised:
        make(settings)
    assert message in str(raised.value)


def test_receivers_lists_the_catalogue():
    receivers = tolvik.receivers()
    names = [r["name"] for r in receivers]
    assert len(receivers) == 19 and names[-1] == "Other"
    csi = receivers[names.index("CSI")]
    assert csi["implements_set_elev_mask"] and csi["default_baudrate"] == 9600
    assert not receivers[names.index("Other")]["implements_set_elev_mask"]
