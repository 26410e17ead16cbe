-- State row of the reserve server: not to be chosen while the main server answers (MAIN 1), the main one may work (SECOND 0).
DELETE FROM SRV;
INSERT INTO SRV (MAIN, SECOND, RO) VALUES (1, 0, 0);
COMMIT;
