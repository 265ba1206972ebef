"""Being here, this file puts tests/ on the import path (pytest's default import mode), so
that tests in any folder can share system_modules."""
