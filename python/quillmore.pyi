"""The Quillmore workbench's exact core on NumPy arrays (type stub)."""

from os import PathLike
from typing import Callable, Literal, Sequence, overload

import numpy as np
import numpy.typing as npt
import pandas

__version__: str

EtalonName = int | str
Progress = Callable[[int, int], bool | None]
Samples = SeriesFile | npt.ArrayLike
Detrend = Literal["none", "median"] | int
Scale = float | Literal["auto"] | None

class Etalon:
    letter: str
    number: int
    energy: int
    samples: npt.NDArray[np.int16]

class Row:
    method: int
    label: str
    positions: npt.NDArray[np.int32]
    measure: int
    squares: int
    iterations: int

class Series:
    length: int
    pulse_length: int
    tmin: int
    tmax: int
    pulses: int
    min_pulses: int
    max_pulses: int
    noise_level: int
    amplitude: int
    pure: npt.NDArray[np.int16]
    observed: npt.NDArray[np.int16]
    positions: npt.NDArray[np.int32]
    etalon_sequence: npt.NDArray[np.int32]
    cut_from: npt.NDArray[np.int32]
    cut_to: npt.NDArray[np.int32]
    min_positions: npt.NDArray[np.int32]
    max_positions: npt.NDArray[np.int32]
    found_positions: npt.NDArray[np.int32]
    protocol: list[Row]
    task: int
    series_type: int
    messages: list[tuple[str, str]]
    streams: dict[str, int]

class Simulation:
    pulse_values: npt.NDArray[np.int16]
    noise_levels: npt.NDArray[np.int16]
    repeats: int
    errors: npt.NDArray[np.int32]
    matrices: npt.NDArray[np.int32]
    series: Series | None
    task: int
    series_type: int
    threads: int
    messages: list[tuple[str, str]]

class CountScore:
    count: int
    programme_measure: int
    improved_measure: int
    passes: int
    squares: int
    noise_per_window: int
    chain_score: int
    snr: float
    null_snr: float
    excess: float

class Significance:
    surrogates: int
    seed: int
    block: int
    statistic: float
    null: list[float]
    reached: int
    false_alarm_probability: float
    resolution: float

class ThresholdPass:
    threshold: int
    pulses: int
    sigma: float

class Detection:
    positions: npt.NDArray[np.int32]
    pulse_scores: npt.NDArray[np.int64]
    # fields pulse, start, end (int32), centre, time, centre_time, amplitude
    # (float64), score (int64), snr (float64)
    pulses: npt.NDArray[np.void]
    sigma: float
    noise_method: str
    measure: int | None
    rows: list[Row]
    counts: list[CountScore]
    from_count: int
    to_count: int
    passes: list[ThresholdPass]
    cancelled: bool
    noise_level: int | None
    noise_estimated: bool
    snr_min: float | None
    snr_min_default: bool
    scored_windows: int | None
    preparation: list[str]
    scale: float
    converted: bool
    samples_address: int
    chosen_count: int
    plain_count: int
    filter_sigma: float
    template_norm: float
    raw_null: list[float]
    null_block: int
    significance: Significance | None
    def to_frame(self) -> pandas.DataFrame: ...

class Search:
    period: npt.NDArray[np.float64]
    tmin: npt.NDArray[np.int32]
    tmax: npt.NDArray[np.int32]
    pulse_length: npt.NDArray[np.int32]
    count: npt.NDArray[np.int32]
    score: npt.NDArray[np.int64]
    snr: npt.NDArray[np.float64]
    statistic: npt.NDArray[np.float64]
    refusal: list[str]
    best_index: int
    best: Detection | None
    significance: Significance | None
    cancelled: bool

class SeriesFile:
    values: npt.NDArray[np.float64]
    integral: bool
    times: npt.NDArray[np.float64] | None
    time_name: str
    sample_rate: float
    column_name: str
    source: str
    inserted_gaps: int
    format: Literal["text", "npy", "sound", "datafile"]

class Prepared:
    samples: npt.NDArray[np.int64]
    gaps: int
    centre: float
    trend_median: float
    scale: float
    scaled: bool
    largest: int
    report: list[str]

def alphabet() -> list[Etalon]: ...
@overload
def synthesize(
    length: int | None = None,
    pulses: int | None = None,
    tmin: int | None = None,
    tmax: int | None = None,
    etalons: EtalonName | Sequence[EtalonName] | None = None,
    noise: int | None = None,
    energy: int | None = None,
    task: Literal["joint", "detection", "processing"] | None = None,
    method: Literal[0, 1, 2, 6] | None = None,
    series: None = None,
    seeds: dict[str, int] | None = None,
) -> Series: ...
@overload
def synthesize(
    length: int | None = None,
    pulses: int | None = None,
    tmin: int | None = None,
    tmax: int | None = None,
    etalons: EtalonName | Sequence[EtalonName] | None = None,
    noise: int | None = None,
    energy: int | None = None,
    task: Literal["joint", "detection", "processing"] | None = None,
    method: Literal[0, 1, 2, 6] | None = None,
    *,
    series: int,
    seeds: dict[str, int] | None = None,
) -> list[Series]: ...
def simulate(
    series_type: Literal["fixed", "unfixed"] | None = None,
    task: Literal["joint", "detection", "processing"] | None = None,
    etalons: EtalonName | Sequence[EtalonName] | None = None,
    length: int | None = None,
    tmin: int | None = None,
    tmax: int | None = None,
    energy: int | None = None,
    pulses_from: int | None = None,
    pulses_to: int | None = None,
    pulses_incr: int | None = None,
    noise_from: int | None = None,
    noise_steps: int | None = None,
    noise_incr: int | None = None,
    repeats: int | None = None,
    threads: int | None = None,
    progress: Progress | None = None,
) -> Simulation | None: ...
def estimate(
    x: Samples,
    pulses: int,
    tmin: int,
    tmax: int,
    pulse_length: int | None = None,
    template: EtalonName | npt.ArrayLike | None = None,
    score: Literal["energy", "correlation"] = "energy",
    progress: Progress | None = None,
    *,
    detrend: Detrend = "median",
    invert: bool = False,
    scale: Scale = None,
    significance: int | None = None,
    seed: int = 1,
    threads: int | None = None,
) -> Detection: ...
def estimate_unknown(
    x: Samples,
    tmin: int,
    tmax: int,
    pulse_length: int | None = None,
    template: EtalonName | npt.ArrayLike | None = None,
    score: Literal["energy", "correlation"] = "energy",
    progress: Progress | None = None,
    *,
    detrend: Detrend = "median",
    invert: bool = False,
    scale: Scale = None,
    null_series: int = 8,
    significance: int | None = None,
    seed: int = 1,
    threads: int | None = None,
) -> Detection: ...
def detect(
    x: Samples,
    method: int,
    tmin: int,
    tmax: int,
    pulse_length: int | None = None,
    template: EtalonName | npt.ArrayLike | None = None,
    score: Literal["energy", "correlation"] = "energy",
    noise: int | None = None,
    progress: Progress | None = None,
    *,
    detrend: Detrend = "median",
    invert: bool = False,
    scale: Scale = None,
    significance: int | None = None,
    seed: int = 1,
    threads: int | None = None,
    snr_min: float | None = None,
) -> Detection: ...

def search(
    x: Samples,
    period: float | Sequence[float] | npt.ArrayLike | None = None,
    window: float | None = None,
    tmin: int | Sequence[int] | npt.ArrayLike | None = None,
    tmax: int | Sequence[int] | npt.ArrayLike | None = None,
    pulse_length: int | Sequence[int] | npt.ArrayLike | None = None,
    template: EtalonName | npt.ArrayLike | None = None,
    score: Literal["energy", "correlation"] = "correlation",
    progress: Progress | None = None,
    *,
    detrend: Detrend = "median",
    invert: bool = False,
    scale: Scale = None,
    threads: int | None = None,
    significance: int | None = None,
    seed: int = 1,
) -> Search: ...

def read_series(
    path: str | PathLike[str],
    column: str | int | None = None,
    channel: int | None = None,
    format: Literal["auto", "text", "npy", "sound", "datafile"] = "auto",
) -> SeriesFile: ...
def prepare(
    x: Samples,
    detrend: Detrend = "median",
    invert: bool = False,
    scale: Scale = None,
    integral: bool | None = None,
) -> Prepared: ...
