"""Builds the wheel: the package with libqolt (and qolt-sim) beside it, tagged for this platform only.

The modules need no particular Python (ctypes), so the tag is py3-none-<platform>: the platform is that of
the library inside. Run from the build folder's staged copy (build/python), where the library is.
"""

from setuptools import Distribution, setup

try:
    from wheel.bdist_wheel import bdist_wheel
except ImportError:  # setuptools >= 70 carries its own
    from setuptools.command.bdist_wheel import bdist_wheel  # type: ignore[no-redef]


class PlatformWheel(bdist_wheel):
    def finalize_options(self) -> None:
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):  # type: ignore[no-untyped-def]
        _python, _abi, platform = super().get_tag()
        return "py3", "none", platform


class BinaryDistribution(Distribution):
    # The library inside makes the files platform-specific: installed to platlib, at the wheel's root.
    def has_ext_modules(self) -> bool:
        return True


setup(cmdclass={"bdist_wheel": PlatformWheel}, distclass=BinaryDistribution)
