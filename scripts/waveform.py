"""Plots an 8-bit mono WAVE file: the whole file, and a 10 ms close-up of
the first tone, so both the slot layout and the tone shape show."""

import sys
import wave

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(source, target):
    with wave.open(source, "rb") as reader:
        rate = reader.getframerate()
        samples = list(reader.readframes(reader.getnframes()))
    seconds = [i / rate for i in range(len(samples))]
    close_up = int(0.010 * rate)

    figure, (whole, detail) = plt.subplots(2, 1, figsize=(9, 5), constrained_layout=True)
    whole.plot(seconds, samples, linewidth=0.4, color="#1f4e79")
    whole.set_title('dtmfwave "1#": two 500 ms slots, each 250 ms of tone and 250 ms of silence')
    whole.set_xlabel("time (s)")
    whole.set_ylabel("sample (128 = silence)")
    whole.set_ylim(0, 255)
    detail.plot([t * 1000 for t in seconds[:close_up]], samples[:close_up], marker=".", linewidth=0.8,
                color="#1f4e79")
    detail.set_title('first 10 ms of "1": 697 Hz + 1209 Hz, amplitude 63 each about 128')
    detail.set_xlabel("time (ms)")
    detail.set_ylabel("sample")
    detail.set_ylim(0, 255)
    figure.savefig(target, dpi=100)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
