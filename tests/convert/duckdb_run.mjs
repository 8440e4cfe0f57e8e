// Runs SQL scripts in DuckDB for the engine test: reads a JSON array of
// scripts from the file named by the first argument and writes a JSON array
// with, for each script, the rows of its last statement or its error. Each
// script runs in a fresh in-memory database. The second argument is the
// folder whose node_modules holds the package (bench/duckdb).
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';

const { DuckDBInstance } = createRequire(process.argv[3] + '/package.json')('@duckdb/node-api');

const scripts = JSON.parse(readFileSync(process.argv[2], 'utf8'));
const results = [];
for (const script of scripts) {
    const instance = await DuckDBInstance.create(':memory:', { threads: '1' });
    const connection = await instance.connect();
    try {
        // A string of the environment format holds no line end, so every
        // statement of the script ends with ";" at the end of a line.
        const statements = script.split(/;\n/).map((s) => s.trim()).filter((s) => s && !/^(--[^\n]*\n?)*$/.test(s));
        let rows = [];
        for (const statement of statements) {
            const reader = await connection.runAndReadAll(statement);
            rows = reader.getRows();
        }
        results.push({ rows: rows.map((row) => row.map((v) => (typeof v === 'bigint' ? Number(v) : v))) });
    } catch (error) {
        results.push({ error: String(error.message || error) });
    }
    connection.closeSync();
    instance.closeSync();
}
process.stdout.write(JSON.stringify(results));
