"""read_series refuses what quillmore-cli detect refuses, in its own words, and
reads a time column with holes as detect does."""

import re
import wave

import numpy as np
import pytest

import quillmore

LAYOUT = ["--pulses", 1, "--tmin", 1, "--tmax", 20, "--pulse-length", 1]


def test_channel_and_column_refusals_name_the_parameters(cli, tmp_path):
    stereo = tmp_path / "two.wav"
    with wave.open(str(stereo), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(100)
        w.writeframes(np.arange(40, dtype="<i2").tobytes())
    table = tmp_path / "t.csv"
    table.write_text("x,v\n1,4\n2,5\n")
    for path, options, words in [(stereo, {}, []), (stereo, dict(column=1), ["--column", 1]),
                                 (table, dict(channel=1), ["--channel", 1])]:
        code, _, err = cli.run("detect", path, *words, *LAYOUT)
        with pytest.raises(ValueError) as refused:
            quillmore.read_series(path, **options)
        said = err.strip().removeprefix("quillmore-cli detect: ")
        assert code == 2 and "--" not in str(refused.value)
        assert str(refused.value) == re.sub(r"--channel (\d)", r"channel=\1", said).replace("--", "")
    assert quillmore.read_series(stereo, channel=2).values[:3].tolist() == [1, 3, 5]


def test_rows_missing_from_the_time_grid_are_gaps(cli, tmp_path):
    path = tmp_path / "holes.csv"
    path.write_text("Time (s),v\n" + "".join(f"{t * 0.25},{t}\n" for t in range(12) if t not in (3, 7, 8)))
    f = quillmore.read_series(path)
    assert f.inserted_gaps == 3 and np.flatnonzero(np.isnan(f.values)).tolist() == [3, 7, 8]
    np.testing.assert_array_equal(f.times, np.arange(12) * 0.25)
    code, out, _ = cli.run("detect", path, *LAYOUT)
    assert code == 0 and "read: column 2 (v) of 2, 9 rows, 3 missing times inserted as gaps (cadence 0.25)\n" in out
