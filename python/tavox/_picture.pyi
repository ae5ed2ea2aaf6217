from typing import Any, Optional

import numpy as np

def _spectrum_png(magnitudes: np.ndarray[Any, Any], phases: Optional[np.ndarray[Any, Any]], column: str,
                  rate: Optional[float], source: str, window: Optional[int], method: Optional[int], width: int,
                  points: int, exposures: int, db: bool, pixels_wide: int, pixels_high: int) -> bytes: ...
def _spectrogram_png(S: np.ndarray[Any, Any], times: np.ndarray[Any, Any], seconds: bool, scale: str, unit: str,
                     rate: Optional[float], source: str, window: int, width: int, points: int, pixels_wide: int,
                     pixels_high: int) -> bytes: ...
